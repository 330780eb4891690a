// toMidi frames against a real output thread: the SDL plug-out on SDL's disk
// driver runs the master callback, which fills the analysis ring, while the
// main thread measures, tunes, tracks and resets it. Built for the thread
// sanitizer's eyes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/window/scripted_platform.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"
#include "tests/threaded_engine.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/recording_midi.h"
#include "tomidi/tomidi_frame.h"

namespace korvane {
namespace {

TEST(ToMidiConcurrency, FramesReadTheRingWhileTheOutputThreadFillsIt) {
    ScriptedPlatform desk;
    installPlatform(&desk);
    RecordingMidi midi;
    installMidiSystem(&midi);
    openMidiDevice();
    buildNoteTables();
    buildPhaseTable();
    ASSERT_NO_FATAL_FAILURE(startThreadedEngine());

    emptyPlaylist();
    lastIndex = 0;
    playlistEntries[0] = std::string(KORVANE_TEST_AUDIO_DIR) + "/triad_c4.mp3";
    currentIndex = 0;
    startTrack();
    playing = 1;
    toMidiActive = 1;

    // Each frame also waits a little in real time, so that the output
    // thread writes between and during the measurements.
    struct RealTimeSteps : FrameSteps {
        void handleKeys() override { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }
        void afterTracking() override {
            moves += readMark != lastMark;
            lastMark = readMark;
        }
        int lastMark = -1;
        int moves = 0;  // frames that found the ring moved on
    } steps;
    startFrames();
    for (int frame = 0; frame < 300; ++frame) {
        runFrame(steps);
        if (frame % 60 == 59) resetAnalysis();
    }
    toMidiActive = 0;
    allNotesOff();
    EXPECT_GT(steps.moves, 20) << "the output thread kept writing";

    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    EXPECT_EQ(FBS_EXIT(), 1);
    closeMidiDevice();
    installMidiSystem(nullptr);
}

}  // namespace
}  // namespace korvane
