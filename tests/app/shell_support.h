// A scripted desk for the shell's tests: the scripted platform with the main
// window open, the recording MIDI system, the engine's key reader on the
// platform's queue, a fresh temporary working folder, and every subsystem's
// state back at its start values.
#pragma once

#include <filesystem>

#include "app/input/input_state.h"
#include "app/lifecycle.h"
#include "app/main_loop.h"
#include "app/main_panel.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "tests/scripted_desk.h"
#include "tomidi/midi_output.h"
#include "tomidi/recording_midi.h"

namespace korvane {

class ShellTest : public ScriptedDeskTest {
protected:
    void SetUp() override {
        openDesk("korvane-shell-");
        installMidiSystem(&midi);
        resetKorvane();  // before the engine starts, as runKorvane
    }

    void TearDown() override {
        closeMidiDevice();
        installMidiSystem(nullptr);
        // A test may have taken the folder's rights away.
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        closeDesk();
    }

    // A left click (buttons 1) or right click (2) at one reading.
    static MouseReading click(int x, int y, int buttons = 1) { return {x, y, 0, buttons}; }

    RecordingMidi midi;
};

}  // namespace korvane
