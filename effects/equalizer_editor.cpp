#include "effects/equalizer_editor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "app/input/input_state.h"
#include "app/text/number_text.h"
#include "app/text/start_values.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/preset_files.h"
#include "playback/modal_panel.h"

namespace korvane {

int lastEditX = 0;
int lastEditY = 0;

namespace {

const StartValues initial(lastEditX, lastEditY);

}  // namespace

void resetEqualizerEditor() { initial.restore(); }

namespace {

// The chart: gain 1 (0 dB) at y 54, 37 pixels per factor of 10 in gain,
// +20 dB at y 17 and -20 dB at y 91; frequency x = 344 log10(f / 20) / 3.3,
// 20 Hz at the left edge and about 40 kHz at the right.
constexpr int zeroLine = 54;
constexpr double decadeSpan = 37.0;
constexpr int plus20Line = zeroLine - 37;
constexpr int minus20Line = mainWindowHeight - 2;
constexpr double chartWidth = mainWindowWidth;
constexpr double decades = 3.3;
constexpr double lowestFrequency = 20.0;
constexpr int editTop = 8;  // pointer rows that edit: editTop .. minus20Line
constexpr std::uint32_t curveColour = 0xFFFFE100;

// The low band's edge moves at and below this frequency, the high band's
// at and above the second; the gap between them leaves both alone.
constexpr int lowBandLimit = 950;
constexpr int highBandLimit = 1050;
constexpr int highestEdge = 25000;
constexpr float lowestGain = 0.1f;
constexpr float highestGain = 10.0f;

constexpr int pollWait = 150;  // ms between two pointer readings

int frequencyAt(int x) { return roundToInt(lowestFrequency * std::pow(10.0, decades * x / chartWidth)); }
float gainAt(int y) { return static_cast<float>(std::pow(10.0, (zeroLine - y) / decadeSpan)); }

int yOfGain(float gain) {
    return roundToInt(zeroLine - decadeSpan * std::log10(std::max(0.1, static_cast<double>(gain))));
}
// A frequency of 0 or less (never kept, but drawn safely) counts as 1 Hz.
int xOfFrequency(int frequency) {
    return roundToInt(chartWidth / decades * std::log10(std::max(frequency, 1) / lowestFrequency));
}

// The gain in decibels, rounded down to two decimals, in at most 5 characters.
std::string decibelFigure(float gain) {
    const double decibels = 20.0 * std::log10(std::max(0.1, static_cast<double>(gain)));
    return formatDouble(std::floor(100.0 * decibels) / 100.0).substr(0, 5);
}

// Applies the pointer position (px, py) of the previous reading with the
// buttons held now: the right button alone sets the mid gain, any other
// the edge and gain of the band on that side of 1 kHz.
void applyPointer(int px, int py, int buttons) {
    if (buttons < 1 || px < 0 || py < editTop || py > minus20Line) return;
    if (px == lastEditX && py == lastEditY) return;
    lastEditX = px;
    lastEditY = py;
    const int f = frequencyAt(px);
    const float g = std::max(lowestGain, std::min(highestGain, gainAt(py)));
    if (buttons == 2) {
        equalizer.midg = g;
    } else if (f <= lowBandLimit) {
        equalizer.lowf = std::max(static_cast<int>(lowestFrequency), f);
        equalizer.lowg = g;
    } else if (f >= highBandLimit) {
        equalizer.highf = std::min(highestEdge, f);
        equalizer.highg = g;
    }
    drawEqualizerPanel();
    equalizerSetup();
}

bool isKey(int code, char letter) {
    return std::tolower(code % 256) == letter;
}

}  // namespace

void drawEqualizerPanel() {
    screen::clear();
    screen::printAt(2, 1, "+20");
    screen::printAt(7, 1, "+0");
    screen::printAt(11, 1, "-20");
    screen::printAt(8, 1, "20hz");
    screen::printAt(8, 9, "100hz");
    screen::printAt(8, 22, "1K");
    screen::printAt(8, 35, "10K");
    screen::printAt(8, 41, "25K");
    for (const int y : {zeroLine, plus20Line, minus20Line})
        screen::drawLine(0, y, chartWidth, y, screen::foreground());

    // The order sets the steepness of the slopes; an order below 1 (from a
    // file) draws as 1.
    const int order = eqOrder.load();
    const double slopeOrder = std::max(order, 1);
    const int yL = yOfGain(equalizer.lowg);
    const int yM = yOfGain(equalizer.midg);
    const int yH = yOfGain(equalizer.highg);
    const int xL = xOfFrequency(equalizer.lowf);
    const int xH = xOfFrequency(equalizer.highf);
    const int sL = roundToInt(std::abs(yL - yM) / slopeOrder * 2.4);
    const int sH = roundToInt(std::abs(yH - yM) / slopeOrder * 2.4);
    screen::drawLine(0, yL, xL, yL, curveColour);
    screen::drawLine(xL, yL, xL + sL, yM, curveColour);
    screen::drawLine(xH, yH, chartWidth, yH, curveColour);
    screen::drawLine(xH, yH, xH - sH, yM, curveColour);
    screen::drawLine(xL + sL, yM, xH - sH, yM, curveColour);

    screen::printAt(1, 1, "[O]order" + std::to_string(order));
    screen::printAt(2, 12, "lowf=" + std::to_string(equalizer.lowf) + "    highf=" + std::to_string(equalizer.highf));
    screen::printAt(1, 10, " lowg=" + decibelFigure(equalizer.lowg) + " midg=" + decibelFigure(equalizer.midg) +
                       " highg=" + decibelFigure(equalizer.highg));
}

void equalizerEditor() {
    // The pointer drags the curve's handles; [O] steps the order, [S] and
    // [L] save and load the settings; any other key ends the editor.
    class Editor : public ModalPanel {
    public:
        void afterService() override {
            if (std::fabs(auxvar) > 0.00001) screen::printAt(4, 1, "auxvar=" + formatDouble(auxvar));
            for (int poll = 0; poll < 2; ++poll) {
                MouseReading reading;
                const bool inside = platform().readMouse(reading);
                int buttons = inside ? reading.buttons : 0;
                const int readX = inside ? reading.x : -1;
                if (readX < 0) {
                    buttons = 0;
                    px_ = -1;
                }
                applyPointer(px_, py_, buttons);
                px_ = readX;
                py_ = reading.y;
                screen::sleep(pollWait);
            }
        }
        bool handleKey(int code) override {
            if (code == 0) return true;
            if (isKey(code, 'o')) {
                const int order = eqOrder.load() + 1;
                eqOrder = order > 4 ? 1 : order;
                drawEqualizerPanel();
            } else if (isKey(code, 's')) {
                saveEqualizerFile();
                drawEqualizerPanel();
            } else if (isKey(code, 'l')) {
                loadEqualizerFile();
                drawEqualizerPanel();
                equalizerSetup();
            } else {
                if (code == key::CloseRequest) platform().returnKey(code);
                return false;
            }
            return true;
        }

    private:
        // The previous reading's position; (0, 0) before the first.
        int px_ = 0;
        int py_ = 0;
    } editor;
    drawEqualizerPanel();
    runModalPanel(editor);
}

}  // namespace korvane
