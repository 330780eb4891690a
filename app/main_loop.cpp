#include "app/main_loop.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "app/input/input_state.h"
#include "app/main_panel.h"
#include "app/mpris/mpris.h"
#include "app/text/number_text.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"
#include "effects/equalizer_editor.h"
#include "effects/reverb_panel.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist_panel.h"
#include "playback/track_control.h"
#include "tomidi/midi_output.h"
#include "tomidi/tomidi_panel.h"

namespace korvane {

namespace {

constexpr int playlistWidth = 500;
constexpr int playlistHeight = 400;
constexpr std::uint32_t clockBackground = rgb(255, 255, 0);
constexpr std::uint32_t clockColour = rgb(0, 240, 0);
constexpr std::uint32_t barColour = rgb(0, 250, 0);

bool endsLoop(int code) { return code == key::Space || code == key::Escape || code == key::CloseRequest; }

// A letter command's key, upper or lower case.
bool isKey(char letter) {
    return keyText.size() == 1 &&
           std::tolower(static_cast<unsigned char>(keyText[0])) == static_cast<unsigned char>(letter);
}

// A left click on the "[P]playlist" label or the title row opens the playlist.
bool hoverLabel(bool over, double x, double y, const std::string& text) {
    screen::drawText(x, y, text, over ? hoverColour : defaultForeground);
    if (!over || clickPending != 1) return false;
    keyCode = 'p';
    clickPending = 0;
    return true;
}

void serviceClickAndTrackEnd() {
    if (clickPending == 1) {
        drawButtons();
        clickPending = 0;
    }
    if (trackEnded == 1) {
        advanceAfterEnd();
        trackEnded = 0;
    }
    runMediaCommands();
    if (mpris::quitRequested()) keyCode = key::Escape;
}

// Four polls 100 ms apart; a click on a label leaves early.
void pollInput() {
    for (int poll = 1; poll <= 4; ++poll) {
        screen::sleep(100);
        MouseReading reading;
        const bool inside = platform().readMouse(reading);
        mouseX = inside ? reading.x : -1;
        mouseY = inside ? reading.y : -1;
        mouseButtons = inside ? reading.buttons : -1;
        if (inside && mouseButtons == 1 && mouseX > 0) {
            clickPending = 1;
            clickX = mouseX;
            clickY = mouseY;
        }
        if (inside && mouseButtons == 2) {
            keyCode = 'p';
            screen::sleep(150);
        }
        if (hoverLabel(mouseX >= 256 && mouseX < mainWindowWidth && mouseY >= 70 && mouseY <= 80,
                       256, 72, "[P]playlist"))
            return;
        if (hoverLabel(mouseY >= 0 && mouseY <= 13, 1, 1, trackTitle)) return;
        serviceClickAndTrackEnd();
    }
}

void speedPrompt() {
    screen::clear();
    screen::printLineAt(2, 1, "speed : enter a value (80..100)");
    screen::printLine("        initial=100%  last=" + formatSingle(speed) + "%");
    const double value = parseNumber(screen::readLine());
    if (value > 0.001) speed = static_cast<float>(std::max(80.0, std::min(100.0, value)));
    prepareSpeedRing();
}

// The playlist takes a 500 x 400 window of its own; the main window comes
// back where it was.
void runPlaylistPanel() {
    Platform& p = platform();
    const ScreenPoint mainPosition = p.windowPosition();
    p.closeWindow();
    p.openWindow(playlistWidth, playlistHeight);
    const DesktopInfo desk = p.desktop();
    p.setWindowPosition({std::max(1, std::min(mainPosition.x, desk.width - playlistWidth - 8)),
                         std::max(1, std::min(mainPosition.y, desk.height - playlistHeight - 72))});
    screen::setTextColours(defaultForeground, rgb(0, 0, 0));
    playlistPanel();
    screen::sleep(100);
    p.closeWindow();
    p.openWindow(mainWindowWidth, mainWindowHeight);
    p.setWindowPosition(mainPosition);
    screen::setTextColours(defaultForeground, panelBackground);
    drawMainPanel();
}

// The toMidi panel runs with the track's playing flag.
void toMidiCommand() {
    playing = savedPlaying;
    runToMidi();
}

// The track buttons' keys leave the track playing.
void nextTrackCommand() {
    nextTrack();
    savedPlaying = 1;
}

void previousTrackCommand() {
    previousTrack();
    savedPlaying = 1;
}

void autoVolumeCommand() {
    autovolMode = (autovolMode + 1) % 7;
    if (autovolMode == 1) autoVolumeReset();
    applyEffectSettings();
}

void reverbModeCommand() {
    reverbMode = (reverbMode + 1) % 4;
    reverbSetup();
    applyEffectSettings();
}

// The reverb panel of the current mode (2 or 3); its changes are heard at
// once, and the main panel comes back after it.
void reverbPanelCommand() {
    playing = 1;
    if (reverbMode == 3) {
        reverbPanel(reverb3, "reverb3");
        reverbSetup();
        drawMainPanel();
    }
    if (reverbMode == 2) {
        reverbPanel(reverb2, "reverb2");
        reverbSetup();
        drawMainPanel();
    }
    playing = 0;
}

void equalizerOnCommand() {
    equalizerOn = (equalizerOn + 1) % 2;
    applyEffectSettings();
}

void equalizerEditorCommand() {
    if (equalizerOn != 1) return;
    playing = 1;
    equalizerEditor();
    playing = 0;
    drawMainPanel();
}

// A one-key command: a key code (a second one, or 0) or a letter in either
// case. After it the main panel is drawn again when it says so, and the key
// is dropped, so that no later command of the same pass sees it.
struct Command {
    int code;
    int otherCode;
    char letter;
    void (*run)();
    bool redrawsMainPanel;
};

// In the order they are tried.
constexpr Command commands[] = {
    {key::F9, 0, 0, toMidiCommand, true},
    {key::Right, key::Down, 0, nextTrackCommand, true},
    {key::Left, key::Up, 0, previousTrackCommand, true},
    {0, 0, 'a', autoVolumeCommand, true},
    {0, 0, 'r', reverbModeCommand, true},
    {0, 0, 't', reverbPanelCommand, false},
    {0, 0, 'g', equalizerOnCommand, true},
    {0, 0, 'e', equalizerEditorCommand, false},
    {0, 0, 's', speedPrompt, true},
    {0, 0, 'p', runPlaylistPanel, false},
    {0, 0, 'o', chooseMidiDevice, true},
    {0, 0, 'm', toMidiCommand, true},
};

bool matches(const Command& command) {
    if (command.letter != 0) return isKey(command.letter);
    return keyCode == command.code || (command.otherCode != 0 && keyCode == command.otherCode);
}

void dispatch() {
    keyText = std::string(1, static_cast<char>(keyCode % 256));
    savedPlaying = playing.load();
    playing = 0;
    for (const Command& command : commands) {
        if (!matches(command)) continue;
        command.run();
        if (command.redrawsMainPanel) drawMainPanel();
        keyText.clear();
    }
    playing = savedPlaying;
}

std::string twoDigits(long long value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

void drawClockAndBar() {
    screen::fillBox(0, 24, 40, 34, clockBackground);
    if (stopped == 0) elapsed = platform().clock() - startTime;
    screen::drawText(1, 26, clockText(elapsed), clockColour);
    screen::drawText(50, 26, lengthText, defaultForeground);
    if (elapsed < 10) screen::fillBox(5, 14, mainWindowWidth, 16, panelBackground);
    // Reaches the right end when the played audio time reaches the track's
    // length + 1 s; past it the bar runs over the window's edge.
    double barEnd = 5 + (mainWindowWidth - 10) * elapsed * speed / ((trackLength + 1.0) * 100);
    if (!(barEnd <= mainWindowWidth + 1)) barEnd = mainWindowWidth + 1;
    screen::fillBox(5, 14, barEnd, 16, barColour);
}

}  // namespace

std::string clockText(double seconds) {
    const long long minutes = static_cast<long long>(std::floor(seconds / 60));
    const long long rest = static_cast<long long>(std::floor(seconds)) - 60 * minutes;
    return twoDigits(minutes) + ":" + twoDigits(rest);
}

void applyEffectSettings() {
    FBS_ENABLE_MASTERCALLBACK();
    FBS_SET_MASTERVOLUME(autovolMode >= 1 ? autoVolumeMasterVolume : plainMasterVolume);
}

void mainLoop() {
    while (!endsLoop(keyCode)) {
        keyCode = FBS_GET_KEYCODE();
        clickX = -1;
        pollInput();
        serviceClickAndTrackEnd();
        if (redrawRequested == 1) {
            redrawRequested = 0;
            drawMainPanel();
        }
        if (std::fabs(auxvar) > 0.00001) {
            screen::printAt(7, 1, "auxvar=" + formatDouble(auxvar) + "   ");
            screen::endLine();
        }
        if (keyCode != 0) dispatch();
        drawClockAndBar();
    }
}

}  // namespace korvane
