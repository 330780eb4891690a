// Engine start, discovery of plug-outs, shutdown and the engine's settings.
#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>

#include "engine/plugout/engine_state.h"
#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

using EngineLifecycle = EngineTest;

// The call log of a loaded test plug-out.
std::string plugLog(int index) {
    using LogFunction = const char* (*)();
    auto log = reinterpret_cast<LogFunction>(::dlsym(engine.plugouts[index].library, "TESTPLUG_LOG"));
    return log != nullptr ? log() : "no log";
}

bool libraryLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

TEST_F(EngineLifecycle, WithoutPlugoutLibrariesInitFailsAndReportsNothing) {
    const std::string folder = testPlugFolder("empty");
    FBS_SET_PLUGPATH(folder.c_str());
    EXPECT_EQ(FBS_SET_MASTERVOLUME(0.5f), 0);
    EXPECT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 0);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 0);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "");
    EXPECT_STREQ(FBS_GET_PLUGERROR(), "");
    EXPECT_EQ(FBS_GET_PLUGBUFFERSIZE(), 0);
    EXPECT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 0);
}

TEST_F(EngineLifecycle, FirstListedPlugoutWinsAndExitUnloadsEveryLibrary) {
    const std::string folder = testPlugFolder("order");
    FBS_SET_PLUGPATH(folder.c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 7), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 2);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "first");
    EXPECT_STREQ(FBS_GET_PLUGDEVICE(), "test device");
    EXPECT_EQ(FBS_GET_PLUGRUNNING(), 1);
    EXPECT_EQ(FBS_GET_PLUGBUFFERSIZE(), 2400);
    EXPECT_EQ(FBS_GET_PLUGFRAMESIZE(), 4);
    EXPECT_EQ(FBS_GET_PLUGBITS(), 16);
    EXPECT_EQ(engine.plugouts[0].deviceindex, 7);
    EXPECT_EQ(plugLog(0), " isany init start");
    EXPECT_EQ(plugLog(1), " isany");

    ASSERT_EQ(FBS_EXIT(), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 0);
    EXPECT_FALSE(libraryLoaded(folder + "plug-sdl.so"));
    EXPECT_FALSE(libraryLoaded(folder + "plug-alsa.so"));
}

TEST_F(EngineLifecycle, SecondPlugoutIsUsedWhenTheFirstRefusesIsAny) {
    const std::string folder = testPlugFolder("isany");
    FBS_SET_PLUGPATH(folder.c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "second");
    EXPECT_FALSE(libraryLoaded(folder + "plug-sdl.so"));
}

TEST_F(EngineLifecycle, SecondPlugoutIsUsedWhenTheFirstRefusesInit) {
    FBS_SET_PLUGPATH(testPlugFolder("init").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 2);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "second");
}

TEST_F(EngineLifecycle, LibraryMissingAnEntryPointIsDropped) {
    FBS_SET_PLUGPATH(testPlugFolder("incomplete").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 1);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "second");
}

TEST_F(EngineLifecycle, SecondInitAfterAFailedStartClosesTheFirstWithoutReloading) {
    FBS_SET_PLUGPATH(testPlugFolder("start").c_str());
    EXPECT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 0);
    EXPECT_EQ(FBS_GET_PLUGRUNNING(), 0);
    EXPECT_STREQ(FBS_GET_PLUGERROR(), "first refused");
    // Initialised though not running: the engine's settings work.
    EXPECT_EQ(FBS_SET_MASTERVOLUME(0.5f), 1);

    ASSERT_EQ(FBS_INIT(44100, 2, 3, 1024, 0), 1);
    EXPECT_EQ(FBS_GET_PLUGFRAMES(), 1024);
    EXPECT_EQ(plugLog(0), " isany init start stop exit init start");
}

TEST_F(EngineLifecycle, ExitKeepsEverythingWhileThePlugoutCannotConfirmItsStop) {
    FBS_SET_PLUGPATH(testPlugFolder("stopfail").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    // The output thread may still be filling from the stream's buffers.
    EXPECT_EQ(FBS_EXIT(), 0);
    EXPECT_EQ(plugLog(0), " isany init start stop");
    EXPECT_EQ(FBS_GET_PLUGRUNNING(), 1);
    EXPECT_EQ(FBS_SET_STREAMVOLUME(0.5f), 1);
    EXPECT_EQ(FBS_EXIT(), 1);
}

TEST_F(EngineLifecycle, AnOutputThreadThatStallsDelaysNoCallForLongAndIsReleasedOnceItEnds) {
    FBS_SET_PLUGPATH(testPlugFolder("stall").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    // The thread hangs after its 20th buffer, as in a device call that never returns.
    std::int64_t played = -1;
    for (int i = 0; i < 2000 && played != FBS_GET_PLAYEDSAMPLES(); ++i) {
        played = FBS_GET_PLAYEDSAMPLES();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GT(played, 0);

    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
    EXPECT_EQ(FBS_EXIT(), 0) << "the stop is not confirmed";
    EXPECT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 0) << "nor may the buffers be reallocated";
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_LT(waited, 1.0) << "the first call gives up after a quarter of a second, the next sooner";
    EXPECT_STREQ(FBS_GET_PLUGERROR(), "first: the output thread does not stop");
    EXPECT_EQ(FBS_GET_PLUGRUNNING(), 1);

    using Release = void (*)();
    auto release = reinterpret_cast<Release>(::dlsym(engine.plugouts[0].library, "TESTPLUG_RELEASE"));
    ASSERT_NE(release, nullptr);
    release();
    EXPECT_EQ(FBS_EXIT(), 1);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 0);
}

TEST_F(EngineLifecycle, InitRefusesFormatsTheMixerCannotServe) {
    FBS_SET_PLUGPATH(testPlugFolder("order").c_str());
    EXPECT_EQ(FBS_INIT(0, 2, 3, 600, 0), 0);
    EXPECT_EQ(FBS_INIT(44100, 3, 3, 600, 0), 0);
    EXPECT_EQ(FBS_INIT(44100, 0, 3, 600, 0), 0);
    EXPECT_EQ(FBS_INIT(44100, 2, 0, 600, 0), 0);
    EXPECT_EQ(FBS_INIT(44100, 2, 3, 0, 0), 0);
    EXPECT_EQ(FBS_INIT(44100, 2, 3, 1 << 30, 0), 0);
    EXPECT_EQ(FBS_GET_NUMOFPLUGOUTS(), 0);
}

TEST_F(EngineLifecycle, MaxChannelsAndMasterVolumeAreClamped) {
    int channels = 0;
    FBS_SET_MAXCHANNELS(0);
    FBS_GET_MAXCHANNELS(&channels);
    EXPECT_EQ(channels, 1);
    FBS_SET_MAXCHANNELS(1000);
    FBS_GET_MAXCHANNELS(&channels);
    EXPECT_EQ(channels, 256);
    EXPECT_EQ(FBS_GET_MAXCHANNELS(nullptr), 0);

    ASSERT_EQ(startHostOutput(), 1);
    float volume = -1.0f;
    FBS_SET_MASTERVOLUME(0.0005f);
    FBS_GET_MASTERVOLUME(&volume);
    EXPECT_EQ(volume, 0.0f);
    FBS_SET_MASTERVOLUME(3.0f);
    FBS_GET_MASTERVOLUME(&volume);
    EXPECT_EQ(volume, 2.0f);
    FBS_SET_MASTERVOLUME(std::nanf(""));
    FBS_GET_MASTERVOLUME(&volume);
    EXPECT_EQ(volume, 0.0f);
}

TEST_F(EngineLifecycle, PlayedSamplesAndPlayTimeCountDeliveredBuffers) {
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "host");
    EXPECT_EQ(FBS_GET_PLAYEDSAMPLES(), 0);
    EXPECT_EQ(FBS_GET_PLAYTIME(), 0.0);
    pullOnce();
    EXPECT_EQ(FBS_GET_PLAYEDBYTES(), 2400);
    EXPECT_EQ(FBS_GET_PLAYEDSAMPLES(), 600);
    EXPECT_DOUBLE_EQ(FBS_GET_PLAYTIME(), 600.0 / 44100.0);
}

TEST_F(EngineLifecycle, HostOutputIsChosenOnlyOnAFreshEngineAndPullsOnlyWhileRunning) {
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_EQ(FBS_USE_HOSTOUTPUT(0), 0);
    EXPECT_EQ(pullOnce().size(), 1200u);
    ASSERT_EQ(FBS_STOP(), 1);
    EXPECT_TRUE(pullOnce().empty());
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);
    ASSERT_EQ(FBS_START(), 1);
    EXPECT_EQ(pullOnce().size(), 1200u);
}

}  // namespace
}  // namespace korvane::engine::test
