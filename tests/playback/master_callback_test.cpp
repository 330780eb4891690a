// The master callback on buffers made by the test: gain, clipping and
// rounding, the speed stage, the per-call sample cap, and the end-of-track
// rule against the virtual clock (no stream plays here).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/window/scripted_platform.h"
#include "effects/analysis_ring.h"
#include "effects/effect_settings.h"
#include "effects/master_callback.h"
#include "playback/playback_state.h"

namespace korvane {
namespace {

class MasterCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        installPlatform(&desk);
        desk.advance(100.0);
        plugBits = 16;
        plugChannels = 2;
        speed = 100.0f;
        volume = 1.0f;
        autovolMode = 0;
        stopped = 0;
        toMidiActive = 0;
        playing = 0;
        trackEnded = 0;
        lastSoundTime = desk.clock();
        resetSpeedStage();
    }

    // Runs one call over the samples (stereo frames) and returns them.
    static std::vector<std::int16_t> process(std::vector<std::int16_t> samples) {
        masterCallback(samples.data(), 2, static_cast<int>(samples.size() / 2));
        return samples;
    }

    static std::vector<std::int16_t> silence(int frames) {
        return std::vector<std::int16_t>(static_cast<std::size_t>(frames) * 2, 0);
    }

    ScriptedPlatform desk;
};

TEST_F(MasterCallbackTest, GainClipsToTheHeadroomLimitAndRoundsTiesToEven) {
    volume = 1.7f;
    EXPECT_EQ(process({32767, -32768, 100, -100}),
              (std::vector<std::int16_t>{32400, -32400, 170, -170}));
    volume = 0.5f;
    EXPECT_EQ(process({3, 5, -3, -5, 1, 7}), (std::vector<std::int16_t>{2, 2, -2, -2, 0, 4}));
}

TEST_F(MasterCallbackTest, OtherThanSixteenBitOutputIsLeftAloneAndNeverEndsATrack) {
    plugBits = 8;
    volume = 1.7f;
    playing = 1;
    lastSoundTime = desk.clock() - 5.0;
    EXPECT_EQ(process({1000, -1000}), (std::vector<std::int16_t>{1000, -1000}));
    EXPECT_EQ(trackEnded, 0);
}

TEST_F(MasterCallbackTest, ToMidiSilencesTheOutputAndFeedsOneRingEntryPerFrame) {
    toMidiActive = 1;
    volume = 1.7f;  // the ring takes the gained value, unclipped
    analysisRing.writePos = analysisRingUsed - 300;
    std::vector<std::int16_t> in;
    for (int frame = 0; frame < 600; ++frame) {
        in.push_back(static_cast<std::int16_t>(32767 - frame));
        in.push_back(static_cast<std::int16_t>(-7 * frame));
    }
    EXPECT_EQ(process(in), silence(600));
    EXPECT_EQ(analysisRing.writePos, 300);  // wrapped past the last used entry
    for (int frame = 0; frame < 600; ++frame) {
        const int entry = (analysisRingUsed - 300 + frame) % analysisRingUsed;
        const float expected = (ringFloor + 1.7f * static_cast<float>(in[frame * 2])) +
                               1.7f * static_cast<float>(in[frame * 2 + 1]);
        ASSERT_EQ(analysisRing.samples[entry], expected) << "frame " << frame;
    }
}

TEST_F(MasterCallbackTest, OnlyTheFirst18000SamplesOfABufferAreProcessed) {
    volume = 0.5f;
    std::vector<std::int16_t> samples(20000, 100);
    masterCallback(samples.data(), 2, 10000);
    EXPECT_EQ(samples[17999], 50);
    EXPECT_EQ(samples[18000], 100);
    EXPECT_EQ(samples[19999], 100);
}

TEST_F(MasterCallbackTest, HalfSpeedStereoPlaysEachFrameTwice) {
    speed = 50.0f;
    std::vector<std::int16_t> in;
    for (int frame = 0; frame < 300; ++frame) {
        in.push_back(static_cast<std::int16_t>(frame * 2 + 1));
        in.push_back(static_cast<std::int16_t>(-(frame * 2 + 1)));
    }
    const std::vector<std::int16_t> out = process(in);
    for (int frame = 0; frame < 300; ++frame) {
        const int source = frame / 2;
        ASSERT_EQ(out[frame * 2], in[source * 2]) << "frame " << frame;
        ASSERT_EQ(out[frame * 2 + 1], in[source * 2 + 1]) << "frame " << frame;
    }
    // The lag carries over into the next buffer.
    const std::vector<std::int16_t> next = process(silence(2));
    EXPECT_EQ(next[0], in[300]);

    // A reset starts over at the samples of the next buffer, and a stopped
    // player passes samples straight through.
    resetSpeedStage();
    EXPECT_EQ(process({7, 8, 9, 10}), (std::vector<std::int16_t>{7, 8, 7, 8}));
    stopped = 1;
    EXPECT_EQ(process({7, 8, 9, 10}), (std::vector<std::int16_t>{7, 8, 9, 10}));
}

TEST_F(MasterCallbackTest, SpeedJustBelowFullIsTheOnlyOneThatResamples) {
    speed = 99.999f;
    EXPECT_EQ(process({1, 2, 3, 4}), (std::vector<std::int16_t>{1, 2, 3, 4}));
    plugChannels = 1;
    speed = 50.0f;
    std::vector<std::int16_t> mono = {1, 2, 3, 4};
    masterCallback(mono.data(), 1, 4);
    EXPECT_EQ(mono, (std::vector<std::int16_t>{1, 1, 2, 2}));
}

TEST_F(MasterCallbackTest, TrackEndsAfterTwoSecondsOfSilenceOnlyWhilePlaying) {
    const double now = desk.clock();
    const struct {
        int playing;
        double silentFor;
        int ended;
    } cases[] = {{0, 2.1, 0}, {1, 1.9, 0}, {1, 2.1, 1}};
    for (const auto& c : cases) {
        playing = c.playing;
        lastSoundTime = now - c.silentFor;
        process(silence(600));
        EXPECT_EQ(trackEnded.exchange(0), c.ended) << c.playing << " " << c.silentFor;
    }
}

TEST_F(MasterCallbackTest, SoundKeepsTheTrackAliveAndAStaleTimeIsReset) {
    playing = 1;
    const double now = desk.clock();
    lastSoundTime = now - 3.0;
    process({0, 2});  // a peak of 2 counts as sound
    EXPECT_EQ(lastSoundTime, now);
    EXPECT_EQ(trackEnded, 0);
    lastSoundTime = now + 10.0;  // a starting track's grace is kept
    process({0, 100});
    EXPECT_EQ(lastSoundTime, now + 10.0);
    lastSoundTime = now + 100.0;  // further ahead than any grace: stale
    process(silence(1));
    EXPECT_EQ(lastSoundTime, now);
}

}  // namespace
}  // namespace korvane
