// Streams played through plug-outs with output threads of their own while the
// main thread changes volume and pan and ends and creates streams. Meant for
// a ThreadSanitizer build as much as for a plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

using EngineConcurrency = EngineTest;

std::atomic<int> masterCalls{0};
std::atomic<int> streamBuffersSeen{0};

int countBuffers(void*, int, int) {
    masterCalls.fetch_add(1);
    streamBuffersSeen.fetch_add(FBS_GET_PLAYINGSTREAMS());
    return 0;
}

bool streamActive() {
    float volume = 0.0f;
    return FBS_GET_STREAMVOLUME(&volume) == 1;
}

// Waits up to timeout for the stream to end by itself.
bool waitForStreamEnd(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (streamActive()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(EngineConcurrency, StreamsComeAndGoWhileAThreadedPlugoutMixes) {
    FBS_SET_PLUGPATH(testPlugFolder("threaded").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    ASSERT_EQ(FBS_SET_MASTERCALLBACK(countBuffers), 1);
    ASSERT_EQ(FBS_ENABLE_MASTERCALLBACK(), 1);
    const char* files[] = {"tone_44100_stereo.mp3", "tone_11025_stereo.mp3", "tone_48000_stereo.mp3",
                           "damaged_44100_stereo.mp3", "tone_22050_stereo.mp3", "not_mp3.mp3"};
    for (int round = 0; round < 24; ++round) {
        const std::string file = audioFile(files[round % 6]);
        ASSERT_EQ(FBS_CREATE_MP3STREAM(file.c_str()), 1) << file;
        ASSERT_EQ(FBS_PLAY_MP3STREAM(0.8f, 0.0f), 1) << file;
        for (int step = 0; step < 5 + round % 4 * 5; ++step) {
            FBS_SET_STREAMVOLUME(static_cast<float>(step % 3) * 0.6f);
            FBS_SET_STREAMPAN(static_cast<float>(step % 5) * 0.5f - 1.0f);
            FBS_SET_MASTERVOLUME(0.5f + static_cast<float>(step % 2));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (round % 4 == 3) {
            EXPECT_TRUE(waitForStreamEnd(std::chrono::seconds(20))) << file;
        }
        ASSERT_EQ(FBS_END_MP3STREAM(), 1);
    }
    EXPECT_GT(masterCalls.load(), 0);
    EXPECT_GT(streamBuffersSeen.load(), 0);
}

// Every stream buffer the output thread mixes, in order.
std::vector<int16_t> captured(1 << 21);
std::atomic<size_t> capturedSamples{0};

int captureStream(void* buffer, int channels, int frames) {
    const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(channels);
    const size_t at = capturedSamples.load(std::memory_order_relaxed);
    if (at + count <= captured.size()) {
        std::memcpy(captured.data() + at, buffer, count * sizeof(int16_t));
        capturedSamples.store(at + count, std::memory_order_release);
    }
    return 0;
}

// The real-time ring: three buffers ahead at most, the longest frames (four
// 600-frame buffers' worth at 11.025 kHz) written whole.
TEST_F(EngineConcurrency, RealTimeRingDeliversEveryDecodedFrame) {
    FBS_SET_PLUGPATH(testPlugFolder("threaded").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    for (const char* name : {"tone_11025_stereo.mp3", "tone_48000_stereo.mp3"}) {
        const Decoded decoded = decodeInMemory(audioFile(name), 44100, 2);
        capturedSamples.store(0);
        ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile(name).c_str()), 1) << name;
        ASSERT_EQ(FBS_SET_STREAMCALLBACK(captureStream), 1);
        ASSERT_EQ(FBS_ENABLE_STREAMCALLBACK(), 1);
        ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1) << name;
        ASSERT_TRUE(waitForStreamEnd(std::chrono::seconds(20))) << name;
        const size_t count = capturedSamples.load(std::memory_order_acquire);
        ASSERT_GE(count, decoded.samples.size()) << name;
        EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), captured.begin())) << name;
    }
}

TEST_F(EngineConcurrency, PlugSdlPlaysAFileToItsEndThroughTheDiskDriver) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    // The plug-outs lie beside the test program, the default plugpath.
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1) << FBS_GET_PLUGERROR();
    EXPECT_STREQ(FBS_GET_PLUGNAME(), "SDL2 audio");
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    ASSERT_TRUE(waitForStreamEnd(std::chrono::seconds(20)));
    // The whole 3-second file went out.
    EXPECT_GT(FBS_GET_PLAYTIME(), 2.9);
}

// The master callback on SDL's audio thread: counts the fills and, while
// holdFill is set, hangs as a fill that does not return.
std::atomic<int> sdlFills{0};
std::atomic<bool> holdFill{false};
std::atomic<bool> fillHeld{false};

int countOrHold(void*, int, int) {
    sdlFills.fetch_add(1);
    while (holdFill.load()) {
        fillHeld.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    fillHeld.store(false);
    return 0;
}

// Whether fill calls come, a few within two seconds.
bool fillsGoOn() {
    const int from = sdlFills.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (sdlFills.load() < from + 3) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// SDL's thread runs the fill while holding SDL's device lock, which pausing
// the device takes too: a stop answers 1 only once no fill can come, and a
// fill that hangs makes the stop answer 0 after a quarter of a second, and a
// start return at once, instead of holding up the main thread on that lock.
TEST_F(EngineConcurrency, PlugSdlStopsBetweenFillsAndNotForAFillThatHangs) {
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1) << FBS_GET_PLUGERROR();
    ASSERT_STREQ(FBS_GET_PLUGNAME(), "SDL2 audio");
    ASSERT_EQ(FBS_SET_MASTERCALLBACK(countOrHold), 1);
    ASSERT_EQ(FBS_ENABLE_MASTERCALLBACK(), 1);
    ASSERT_TRUE(fillsGoOn());
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(FBS_STOP(), 1);
        const int stopped = sdlFills.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));  // four buffers' time
        EXPECT_EQ(sdlFills.load(), stopped) << "a fill after the stop";
        ASSERT_EQ(FBS_START(), 1);
        ASSERT_TRUE(fillsGoOn()) << "round " << round;
    }

    holdFill.store(true);
    const auto held = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!fillHeld.load() && std::chrono::steady_clock::now() < held) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(fillHeld.load());
    // Should the stop or the start wait on SDL's lock, this lets the fill go
    // after a while, so that the test fails below instead of hanging.
    std::thread release([] {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (holdFill.load() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        holdFill.store(false);
    });
    EXPECT_EQ(FBS_STOP(), 0);
    EXPECT_NE(std::string(FBS_GET_PLUGERROR()).find("does not stop"), std::string::npos) << FBS_GET_PLUGERROR();
    EXPECT_EQ(FBS_START(), 1);
    EXPECT_TRUE(fillHeld.load()) << "the stop or the start waited for the fill that hangs";

    // Once the fill returns, the output started again plays on and stops.
    holdFill.store(false);
    release.join();
    EXPECT_TRUE(fillsGoOn());
    EXPECT_EQ(FBS_STOP(), 1);
}

}  // namespace
}  // namespace korvane::engine::test
