#include "app/lifecycle.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/config.h"
#include "app/input/dialogs.h"
#include "app/input/error_exit.h"
#include "app/input/input_state.h"
#include "app/main_loop.h"
#include "app/main_panel.h"
#include "app/mpris/mpris.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "effects/equalizer_editor.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"
#include "tomidi/midi_output.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/tomidi_panel.h"

namespace korvane {

namespace {

// 44100 Hz stereo, 3 buffers of 600 frames; then larger buffers, then the
// last driver's default device.
bool startEngine() {
    return FBS_INIT(44100, 2, 3, 600, 0) == 1 || FBS_INIT(44100, 2, 3, 1024, 0) == 1 ||
           FBS_INIT(44100, 2, 3, 2048, -1) == 1;
}

std::string textOf(const char* text) { return text != nullptr ? text : ""; }

// The engine's pause between ending the output and releasing it: a real
// pause, whatever keys are waiting.
void pause100() { platform().sleepMs(100); }

void shutdown() {
    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    pause100();
    FBS_EXIT();
    allNotesOff();
    pause100();
    closeMidiDevice();
    const ScreenPoint position = platform().windowPosition();
    windowLeft = position.x;
    windowTop = position.y;
    if (!writeConfiguration())
        showNotice(std::string("cannot write ") + configFileName + ": settings not saved", "notice");
}

// Before errorExit ends the program: the bus thread stops, and the end of
// the track no longer advances the playlist.
void stopForErrorExit() {
    mpris::stopMediaBus();
    playing = 0;
}

}  // namespace

void resetKorvane() {
    resetInputState();
    resetPlayback();
    resetEffectChain();
    resetEqualizerEditor();
    resetToMidi();
    resetWindowPosition();
    resetMainPanel();
}

int runKorvane() {
    Platform& p = platform();
    setErrorExitStop(stopForErrorExit);
    resetKorvane();
    readConfiguration();

    const DesktopInfo desk = p.desktop();
    if (!p.openWindow(mainWindowWidth, mainWindowHeight)) {
        std::fputs("korvane: cannot open a window\n", stderr);
        return 1;
    }
    limitWindowPosition(desk.width, desk.height);
    p.setWindowPosition({windowLeft, windowTop});
    screen::setTextColours(defaultForeground, panelBackground);
    screen::clear();
    screen::placeCursor(1, 1);

    if (!startEngine()) {
        showMessageAndWait("No free playback driver found!", "");
        showMessageAndWait(textOf(FBS_GET_PLUGERROR()), "");
        return 1;
    }
    screen::printLine("plugout=" + textOf(FBS_GET_PLUGNAME()) + " /" + textOf(FBS_GET_PLUGDEVICE()) +
                      " / " + std::to_string(FBS_GET_PLUGRATE()) + " " +
                      std::to_string(FBS_GET_PLUGBUFFERS()) + "*" +
                      std::to_string(FBS_GET_PLUGFRAMES()));
    p.present();

    openMidiDevice();

    prepareEffectStages();

    startTime = p.clock();

    buildNoteTables();
    buildPhaseTable();

    FBS_SET_MASTERCALLBACK(masterCallback);
    applyEffectSettings();

    if (lastIndex < 0) addThenEnsure();
    startTrack();
    playing = 1;
    installMediaCommandRunner(mpris::serviceMediaCommands);
    mpris::publishPlayerState();

    p.seedRandom(static_cast<std::uint64_t>(p.clock() * 1e6));

    drawMainPanel();
    keyText.clear();
    mainLoop();

    shutdown();
    return 0;
}

}  // namespace korvane
