// A scripted desk for the shell's tests: the scripted platform with the main
// window open, the recording MIDI system, the engine's key reader on the
// platform's queue, a fresh temporary working folder, and the shell's state
// back at its start values.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/main_loop.h"
#include "app/main_panel.h"
#include "app/window/screen.h"
#include "app/window/scripted_platform.h"
#include "effects/effect_settings.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "tomidi/midi_output.h"
#include "tomidi/recording_midi.h"

namespace korvane {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        installPlatform(&desk);
        installMidiSystem(&midi);
        FBS_SET_KEYREADER([] { return platform().readKey(); });
        desk.openWindow(mainWindowWidth, mainWindowHeight);
        screen::setTextColours(defaultForeground, panelBackground);
        screen::clear();
        previousFolder = std::filesystem::current_path();
        folder = std::filesystem::temp_directory_path() /
                 ("korvane-shell-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        resetState();
    }

    void TearDown() override {
        closeMidiDevice();
        installMidiSystem(nullptr);
        FBS_SET_KEYREADER(nullptr);
        std::filesystem::current_path(previousFolder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add);
        std::filesystem::remove_all(folder);
    }

    static void resetState() {
        keyCode = clickPending = auxvar = 0;
        keyText.clear();
        playing = stopped = trackEnded = redrawRequested = 0;
        currentIndex = repeatMode = repeatFrom = repeatTo = 0;
        speed = 100.0f;
        volume = 1.7f;
        autovolMode = reverbMode = equalizerOn = midiDevice = 0;
        noteSounding.fill(0);
        trackTitle.clear();
        lengthText.clear();
        playlistEntries.fill("");
        playlistLabels.fill("");
        lastIndex = -1;
        lastFolder.clear();
    }

    // A left click (buttons 1) or right click (2) at one reading.
    static MouseReading click(int x, int y, int buttons = 1) { return {x, y, 0, buttons}; }

    ScriptedPlatform desk;
    RecordingMidi midi;
    std::filesystem::path folder;
    std::filesystem::path previousFolder;
};

}  // namespace korvane
