// The effect stages against a real output thread: the SDL plug-out on SDL's
// disk driver runs the master callback at real-time pace while the main
// thread sets up filters and echoes, resets the automatic gain, switches
// every mode and slows playback down, handing the speed ring over. Built
// for the thread sanitizer's eyes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/window/scripted_platform.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "tests/threaded_engine.h"

namespace korvane {
namespace {

TEST(EffectsConcurrency, SetupsAndResetsWhileTheOutputThreadRunsTheChain) {
    ScriptedPlatform desk;
    installPlatform(&desk);
    ASSERT_NO_FATAL_FAILURE(startThreadedEngine());
    ASSERT_EQ(FBS_CREATE_MP3STREAM((std::string(KORVANE_TEST_AUDIO_DIR) + "/noise_44100_stereo.mp3").c_str()), 1);
    FBS_PLAY_MP3STREAM(1.0f, 0.0f);

    for (int round = 0; round < 40; ++round) {
        equalizerOn = round % 3 == 0 ? 0 : 1;
        eqOrder = 1 + round % 4;
        equalizer.lowf = 100 + 10 * round;
        equalizer.highg = 0.5f + 0.05f * static_cast<float>(round);
        equalizerSetup();
        reverbMode = round % 4;
        reverb3.kreverb1 = 0.01f * static_cast<float>(round);
        reverbSetup();
        autovolMode = round % 7;
        if (round % 5 == 0) autoVolumeReset();
        volume = 0.5f + 0.02f * static_cast<float>(round);
        toMidiActive = round % 9 == 0 ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
        desk.advance(0.05);
    }

    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    EXPECT_EQ(FBS_EXIT(), 1);
    toMidiActive = 0;
}

TEST(EffectsConcurrency, SpeedRingArrivesWhileTheOutputThreadRunsTheChain) {
    ScriptedPlatform desk;
    installPlatform(&desk);
    ASSERT_NO_FATAL_FAILURE(startThreadedEngine());
    ASSERT_EQ(FBS_CREATE_MP3STREAM((std::string(KORVANE_TEST_AUDIO_DIR) + "/noise_44100_stereo.mp3").c_str()), 1);
    FBS_PLAY_MP3STREAM(1.0f, 0.0f);

    // Full speed first, then slowed down as the speed prompt does it, with
    // a track's restart now and then.
    for (int round = 0; round < 20; ++round) {
        speed = round < 4 ? 100.0f : (round % 2 == 0 ? 80.0f : 40.0f);
        prepareSpeedRing();
        if (round % 7 == 6) resetSpeedStage();
        std::this_thread::sleep_for(std::chrono::milliseconds(12));
        desk.advance(0.05);
    }

    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    EXPECT_EQ(FBS_EXIT(), 1);
    speed = 100.0f;
}

}  // namespace
}  // namespace korvane
