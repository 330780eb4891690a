#include "effects/reverb_panel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "app/text/number_text.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/reverb.h"
#include "effects/preset_files.h"
#include "playback/modal_panel.h"

namespace korvane {

namespace {

constexpr int barWidth = 210;      // pixels for the full range
constexpr int barReach = barWidth + 3;  // pointer columns that still set a bar
constexpr int barHeight = 8;
constexpr std::uint32_t barColour = 0xFF00FF00;
constexpr float longestDelay = 1000.0f;  // ms
constexpr float shortestDelay = 10.0f;
constexpr float highestGain = 0.7f;

struct Bar {
    int top;
    float ReverbPreset::*value;
    bool isDelay;  // milliseconds 10..1000, else a gain 0..0.7
};

constexpr Bar bars[] = {{15, &ReverbPreset::Treverb1, true},
                        {31, &ReverbPreset::kreverb1, false},
                        {55, &ReverbPreset::Treverb2, true},
                        {71, &ReverbPreset::kreverb2, false}};

float valueAt(const Bar& bar, int mx) {
    if (bar.isDelay)
        return std::max(shortestDelay,
                        std::min(longestDelay, static_cast<float>(roundToInt(mx * 1000.0 / barWidth))));
    return std::max(0.0f, std::min(highestGain, static_cast<float>(highestGain * mx / barWidth)));
}

std::string gainFigure(const char* label, float gain) {
    char text[32];
    std::snprintf(text, sizeof text, "%s=%.3f", label, static_cast<double>(gain));
    return text;
}

std::string delayFigure(const char* label, float milliseconds) {
    return std::string(label) + "=" + std::to_string(static_cast<long long>(std::floor(milliseconds)));
}

}  // namespace

void drawReverbPanel(ReverbPreset& preset, const std::string& name, int mx, int my) {
    screen::clear();
    for (const Bar& bar : bars) {
        float& value = preset.*bar.value;
        if (mx <= barReach && bar.top - 1 <= my && my <= bar.top + barHeight + 1) value = valueAt(bar, mx);
        const float full = bar.isDelay ? longestDelay : highestGain;
        screen::drawBox(1, bar.top, barWidth, bar.top + barHeight, screen::foreground());
        screen::fillBox(1, bar.top, barWidth * value / full, bar.top + barHeight, barColour);
    }
    screen::printAt(3, 29, delayFigure("Treverb1", preset.Treverb1));
    screen::printAt(5, 29, gainFigure("kreverb1", preset.kreverb1));
    screen::printAt(8, 29, delayFigure("Treverb2", preset.Treverb2));
    screen::printAt(10, 29, gainFigure("kreverb2", preset.kreverb2));
    screen::printLineAt(1, 1, name + "   [S]save  [L]load");
}

void reverbPanel(ReverbPreset& preset, const std::string& name) {
    // A press inside a bar sets it and is heard at once; [S] and [L] save
    // and load the preset; any other key ends the panel.
    class Panel : public ModalPanel {
    public:
        Panel(ReverbPreset& preset, const std::string& name) : preset_(preset), name_(name) {}
        void beforeKey() override { screen::sleep(100); }
        void afterService() override {
            MouseReading reading;
            const bool inside = platform().readMouse(reading);
            const int buttons = inside && reading.x >= 0 ? reading.buttons : 0;
            if (buttons == 1) {
                drawReverbPanel(preset_, name_, reading.x, reading.y);
                reverbSetup();
            }
        }
        bool handleKey(int code) override {
            if (code == 0) return true;
            const int letter = std::tolower(code % 256);
            if (letter == 's') {
                saveReverbFile(preset_);
            } else if (letter == 'l') {
                loadReverbFile(preset_);
            } else {
                if (code == key::CloseRequest) platform().returnKey(code);
                return false;
            }
            drawReverbPanel(preset_, name_, -1, -1);
            reverbSetup();
            return true;
        }

    private:
        ReverbPreset& preset_;
        const std::string& name_;
    } panel(preset, name);
    drawReverbPanel(preset, name, -1, -1);
    runModalPanel(panel);
}

}  // namespace korvane
