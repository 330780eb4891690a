#include "playback/playlist_panel.h"

#include <algorithm>
#include <string>

#include "app/input/button.h"
#include "app/input/dialogs.h"
#include "app/input/input_state.h"
#include "app/text/start_values.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "playback/modal_panel.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/playlist_files.h"
#include "playback/track_control.h"

namespace korvane {

int listTop = 0;
int previousTop = 0;
int panelRedraw = 0;
int leavePanel = 0;

namespace {

const StartValues initial(listTop, previousTop, panelRedraw, leavePanel);

}  // namespace

void resetPlaylistPanel() { initial.restore(); }

namespace {

constexpr int panelWidth = 500;
constexpr int listWidth = 480;      // rows area; the scroll bar is at its right
constexpr int listHeight = 380;     // and the button bar below it
constexpr int rowHeight = 10;
constexpr int scrollBarLeft = 484;
constexpr int pageStep = 10;        // rows moved by a wheel notch or a scroll-bar click
constexpr int lastRow = playlistRows - 1;

constexpr std::uint32_t currentRowColour = 0xFFFFFF00;
constexpr std::uint32_t rowColour = 0xFF00FF00;
constexpr std::uint32_t barColour = 0xFF0000C8;
constexpr std::uint32_t greyColour = 0xFF969696;
constexpr std::uint32_t thumbColour = 0xFF6E6EFF;

void setPlaying(int value) { playing.store(value, std::memory_order_relaxed); }

void scrollUp() { listTop = std::max(0, listTop - pageStep); }
void scrollDown() { listTop = std::max(0, std::min(lastIndex - lastRow, listTop + pageStep)); }

// The text of row index j: its label, or with short names the number and
// what follows the label's last "/".
std::string rowText(int j) {
    if (j < 0 || j > lastIndex) return {};
    const std::string& label = playlistLabels[j];
    const std::size_t slash = label.rfind('/');
    if (nameStyle != 1 || slash == std::string::npos) return label;
    return std::to_string(j + 1) + "." + label.substr(slash + 1);
}

void redrawAll(bool recentre) {
    drawPlaylistRows(recentre);
    clickPending = 0;
    drawPlaylistChrome();
}

void addAction() {
    addFile();
    panelRedraw = 1;
}

void removeAction() {
    removeAndPlayNext();
    panelRedraw = 1;
}

void clearAction() {
    setPlaying(0);
    if (askYesNo("clear all playlist ?", "korvane") == "yes") clearPlaylist();
    setPlaying(1);
    redrawRequested = 1;
    panelRedraw = 1;
}

void handleClick() {
    if (clickX > 0 && clickX < listWidth && clickY > 0 && clickY < listHeight) {
        const int j = clickY / rowHeight + listTop;
        if (j >= 0 && j <= lastIndex) {
            currentIndex = j;
            setPlaying(0);
            startTrack();
            savedPlaying = 1;
            setPlaying(1);
            leavePanel = 1;
        }
    } else if (clickX >= scrollBarLeft && clickY < listHeight) {
        const double thumbTop = listTop * 370.0 / std::max(1, lastIndex);
        const double thumbBottom =
            (listTop + lastRow) * 370.0 / std::max(listTop + lastRow, lastIndex);
        if (clickY < thumbTop)
            scrollUp();
        else if (clickY > thumbBottom)
            scrollDown();
    }
}

// The key of this pass: "s" in either case (also an extended key whose scan
// code reads as "S") switches the name style, the arrows change track and
// "p" closes the panel as Escape does.
void handleListKey() {
    keyText = std::string(1, static_cast<char>(keyCode % 256));
    int rememberedPlaying = playing.load(std::memory_order_relaxed);
    if (keyText == "s" || keyText == "S") {
        keyText.clear();
        nameStyle = (nameStyle + 1) % 2;
        redrawAll(true);
    }
    if (keyCode == key::Right || keyCode == key::Down) {
        nextTrack();
        rememberedPlaying = 1;
        keyText.clear();
    }
    if (keyCode == key::Left || keyCode == key::Up) {
        previousTrack();
        rememberedPlaying = 1;
        keyText.clear();
    }
    if (keyCode == 'p') keyCode = key::Escape;
    setPlaying(rememberedPlaying);
}

bool closesPanel(int code) {
    return code == key::Space || code == key::Escape || code == key::CloseRequest ||
           code == key::Enter;
}

}  // namespace

void drawPlaylistRows(bool recentre) {
    screen::clear();
    if (recentre) listTop = currentIndex < lastRow ? 0 : std::min(currentIndex, lastIndex - lastRow);
    listTop = std::max(0, listTop);
    for (int i = 0; i < playlistRows; ++i) {
        const int j = listTop + i;
        screen::drawText(0, rowHeight * i, rowText(j), j == currentIndex ? currentRowColour : rowColour);
    }
}

void drawPlaylistChrome() {
    screen::fillBox(0, listHeight, panelWidth, 400, barColour);
    const double face = greyColour;
    drawButton("save", savePlaylistFile, 200, 382, 42, 15, face);
    drawButton("load", loadPlaylistFile, 270, 382, 42, 15, face);
    drawButton("clear", clearAction, 50, 382, 50, 15, face);
    drawButton("remove", removeAction, 410, 382, 51, 15, face);
    drawButton("add", addAction, 361, 382, 41, 15, face);
    screen::drawText(120, 387, nameStyle == 1 ? "[S]short" : "[S]long", screen::foreground());
    if (clickPending == 1) handleClick();

    screen::fillBox(scrollBarLeft, 0, panelWidth, listHeight - 1, greyColour);
    screen::fillBox(scrollBarLeft, listTop * 370.0 / std::max(1, lastIndex), panelWidth,
                    (listTop + lastRow) * 379.0 / std::max(listTop + lastRow, lastIndex), thumbColour);
}

void playlistPanel() {
    // Each pass: the key, a pause, the list drawn again when the track
    // changed, then the click, the right button (which closes) or the wheel;
    // after the end of the track, the key's command.
    class Panel : public ModalPanel {
    public:
        void afterKey(int code) override {
            keyCode = code;
            screen::sleep(100);
            if (currentIndex != seenIndex_) {
                seenIndex_ = currentIndex;
                redrawAll(true);
            }

            clickX = -1;
            const int previousWheel = wheel_;
            const bool previousKnown = wheelKnown_;
            MouseReading reading;
            wheelKnown_ = platform().readMouse(reading);
            wheel_ = reading.wheel;
            if (wheelKnown_) {
                if (reading.buttons == 1 && reading.x > 0) {
                    clickPending = 1;
                    clickX = reading.x;
                    clickY = reading.y;
                } else if (reading.buttons == 2) {
                    keyCode = key::Escape;
                    screen::sleep(150);
                }
            }
            const bool wheelMoved = previousKnown && wheelKnown_ && wheel_ != previousWheel;
            if (clickPending == 1 || wheelMoved) {
                previousTop = listTop;
                if (wheelMoved && wheel_ > previousWheel) scrollUp();
                if (wheelMoved && wheel_ < previousWheel) scrollDown();
                drawPlaylistChrome();
                clickPending = 0;
                if (listTop != previousTop) {
                    panelRedraw = 0;
                    previousTop = listTop;
                    redrawAll(false);
                }
            }
        }
        // keyCode, which the pointer may have changed, not the key read.
        bool handleKey(int) override {
            if (keyCode != 0) handleListKey();
            if (panelRedraw == 1) {
                redrawAll(true);
                panelRedraw = 0;
            }
            if (leavePanel == 1) {
                leavePanel = 0;
                keyCode = key::Escape;
            }
            return !closesPanel(keyCode);
        }

    private:
        int seenIndex_ = currentIndex;
        // Wheel position of the last reading, counted only while the pointer
        // was inside the window both times.
        int wheel_ = 0;
        bool wheelKnown_ = false;
    };

    drawPlaylistRows(true);
    previousTop = listTop;
    Panel panel;
    clickPending = 0;
    drawPlaylistChrome();
    discardWaitingKeys();
    setPlaying(savedPlaying);
    keyText.clear();
    keyCode = 0;
    runModalPanel(panel);
    keyCode = 0;
    keyText.clear();
    setPlaying(0);
}

}  // namespace korvane
