// Track control against a real output thread: the SDL plug-out on SDL's disk
// driver runs the master callback at real-time pace while the main thread
// starts, skips, stops and resumes tracks and changes the speed and level.
// Built for the thread sanitizer's eyes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "app/window/scripted_platform.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"
#include "tests/playback/test_tracks.h"
#include "tests/threaded_engine.h"

namespace korvane {
namespace {

// The names of this process's threads, as top -H and debuggers show them.
std::set<std::string> threadNames() {
    std::set<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name)) names.insert(name);
    }
    return names;
}

TEST(PlaybackConcurrency, TrackChangesWhileTheOutputThreadRunsTheCallback) {
    ScriptedPlatform desk;
    installPlatform(&desk);
    FBS_SET_KEYREADER([] { return platform().readKey(); });
    ASSERT_NO_FATAL_FAILURE(startThreadedEngine());

    playTestTracks({"tone_44100_stereo", "tone_48000_stereo", "tone_44100_mono"});
    // SDL's audio thread takes the name with its first buffer.
    const auto named = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (threadNames().count("korvane-out") == 0 && std::chrono::steady_clock::now() < named) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(threadNames().count("korvane-out"), 1u);

    const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(15)); };
    for (int round = 0; round < 12; ++round) {
        speed = round % 2 == 0 ? 80.0f : 100.0f;
        volume = 0.5f + 0.1f * static_cast<float>(round % 5);
        pause();
        nextTrack();
        pause();
        stopPlayback();
        pause();
        resumePlayback();
        pause();
        // An end reported meanwhile is serviced as the main loop would.
        desk.advance(20.0);
        pause();
        serviceTrackEnd();
    }
    EXPECT_GE(currentIndex, 0);
    EXPECT_LE(currentIndex, lastIndex);

    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    EXPECT_EQ(FBS_EXIT(), 1);
    FBS_SET_KEYREADER(nullptr);
}

}  // namespace
}  // namespace korvane
