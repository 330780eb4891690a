#include "app/main_panel.h"

#include <algorithm>
#include <cmath>

#include "app/input/button.h"
#include "app/input/input_state.h"
#include "app/main_loop.h"
#include "app/text/number_text.h"
#include "app/window/screen.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"

namespace korvane {

namespace {

constexpr std::uint32_t green = rgb(0, 255, 0);
constexpr double buttonFace = static_cast<double>(rgb(150, 150, 150));

// The level slider: x 257..341 shows volume 0..1.7.
constexpr int sliderLeft = 257;
constexpr int sliderRight = 341;
constexpr int sliderTop = 44;
constexpr int sliderBottom = 53;
constexpr double sliderWidth = sliderRight - sliderLeft;
constexpr double fullVolume = 1.7;

const char* const autovolLabels[] = {"[A]noautovol",    "[A]autovol ",     "[A]autovolcomp",
                                     "[A]autovolcomp2", "[A]autovolcomp3", "[A]autovolcomp4",
                                     "[A]autovolcomp5"};

// The indicator of the last drawing: a mode outside 0..5 shows it again.
std::string repeatText;

void quitAction() {
    playing = 0;
    keyCode = key::Escape;
    screen::sleep(100);
}

void repeatAction() {
    screen::sleep(100);
    repeatMode = repeatMode + 1 > 5 ? 0 : repeatMode + 1;
    if (repeatMode == 2) repeatFrom = currentIndex;
    if (repeatMode == 3) repeatTo = currentIndex;
    redrawRequested = 1;
}

// The track buttons leave `playing` at 1 even when it was 0 before.
void previousAction() {
    playing = 0;
    previousTrack();
    playing = 1;
}

void nextAction() {
    playing = 0;
    nextTrack();
    playing = 1;
}

}  // namespace

void resetMainPanel() { repeatText.clear(); }

void drawButtons() {
    drawButton("quit", quitAction, 100, 24, 40, 15, buttonFace);
    drawButton("add", addFile, 145, 24, 51, 15, buttonFace);
    drawButton("remove", removeAndPlayNext, 145, 42, 51, 15, buttonFace);
    if (stopped == 0)
        drawButton("stop", stopPlayback, 200, 24, 51, 15, buttonFace);
    else
        drawButton("play", resumePlayback, 200, 24, 51, 15, buttonFace);
    drawButton("repeat", repeatAction, 200, 42, 51, 15, buttonFace);
    drawButton("<<", previousAction, 100, 42, 17, 15, buttonFace);
    drawButton(">>", nextAction, 122, 42, 17, 15, buttonFace);

    if (clickInside(sliderLeft, sliderTop, sliderRight, sliderBottom))
        volume = static_cast<float>(std::max(0.02, (clickX - sliderLeft) / sliderWidth) * fullVolume);
    screen::fillBox(sliderLeft, sliderTop, sliderRight, sliderBottom, panelBackground);
    screen::fillBox(sliderLeft, sliderTop, sliderLeft + sliderWidth * volume / fullVolume,
                    sliderBottom, green);
    screen::drawBox(sliderLeft, sliderTop, sliderRight, sliderBottom, defaultForeground);
    screen::drawLine(sliderLeft, sliderBottom, sliderRight, sliderTop, defaultForeground);
}

std::string repeatLabel() {
    const std::string from = std::to_string(static_cast<long long>(repeatFrom) + 1);
    const std::string to = std::to_string(static_cast<long long>(repeatTo) + 1);
    switch (repeatMode) {
    case 0: return "repeat all";
    case 1: return "repeat=1";
    case 2: return "rep " + from + "->";
    case 3: return "rep " + from + "->" + to;
    case 4: return "repeat=rnd";
    case 5: return "play once";
    default: return {};
    }
}

void drawMainPanel() {
    screen::clear();
    screen::fillBox(0, 0, mainWindowWidth, 10, titleBarColour);
    screen::drawText(1, 1, trackTitle, defaultForeground);

    screen::printAt(10, 1, equalizerOn == 1 ? "[G]equal  [E]edit" : "[G]noequal");
    screen::printAt(10, 21, "[S]speed");
    screen::drawText(256, 72, "[P]playlist", defaultForeground);

    const int mode = autovolMode;
    if (mode >= 0 && mode <= 6) {
        screen::printAt(11, 1, autovolLabels[mode]);
    }
    screen::printAt(11, 21, "[M]toMidi");

    screen::placeCursor(1, 1);
    drawButtons();

    screen::printAt(4, 38, std::to_string(roundToInt(std::floor(bitRate / 1000.0))) + "K");
    screen::endLine();

    const std::string label = repeatLabel();
    if (!label.empty()) repeatText = label;
    screen::drawText(0, 48, repeatText, green);
}

}  // namespace korvane
