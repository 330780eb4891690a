// The master callback on buffers made by the test: gain, clipping and
// rounding, the speed stage, the per-call sample cap, the toMidi path, and
// the end-of-track rule against the virtual clock (no stream plays here).
#include "effects/chain/analysis_ring.h"
#include "effects_support.h"

namespace korvane {
namespace {

using MasterCallbackTest = CallbackTest;

TEST_F(MasterCallbackTest, GainClipsToTheHeadroomLimitAndRoundsTiesToEven) {
    volume = 1.7f;
    EXPECT_EQ(process({32767, -32768, 100, -100}),
              (Samples{32400, -32400, 170, -170}));
    volume = 0.5f;
    EXPECT_EQ(process({3, 5, -3, -5, 1, 7}), (Samples{2, 2, -2, -2, 0, 4}));
}

TEST_F(MasterCallbackTest, OtherThanSixteenBitOutputIsLeftAloneAndNeverEndsATrack) {
    plugBits = 8;
    volume = 1.7f;
    playing = 1;
    lastSoundTime = desk.clock() - 5.0;
    EXPECT_EQ(process({1000, -1000}), (Samples{1000, -1000}));
    EXPECT_EQ(trackEnded, 0);
}

TEST_F(MasterCallbackTest, ToMidiSilencesTheOutputAndFeedsOneRingEntryPerFrame) {
    toMidiActive = 1;
    volume = 1.7f;  // the ring takes the gained value, unclipped
    analysisRing.writePos = analysisRingUsed - 300;
    Samples in;
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
    Samples samples(20000, 100);
    masterCallback(samples.data(), 2, 10000);
    EXPECT_EQ(samples[17999], 50);
    EXPECT_EQ(samples[18000], 100);
    EXPECT_EQ(samples[19999], 100);
}

TEST_F(MasterCallbackTest, HalfSpeedStereoPlaysEachFrameTwice) {
    speed = 50.0f;
    prepareSpeedRing();  // as the speed prompt does
    Samples in;
    for (int frame = 0; frame < 300; ++frame) {
        in.push_back(static_cast<std::int16_t>(frame * 2 + 1));
        in.push_back(static_cast<std::int16_t>(-(frame * 2 + 1)));
    }
    const Samples out = process(in);
    for (int frame = 0; frame < 300; ++frame) {
        const int source = frame / 2;
        ASSERT_EQ(out[frame * 2], in[source * 2]) << "frame " << frame;
        ASSERT_EQ(out[frame * 2 + 1], in[source * 2 + 1]) << "frame " << frame;
    }
    // The lag carries over into the next buffer.
    const Samples next = process(silence(2));
    EXPECT_EQ(next[0], in[300]);

    // A reset starts over at the samples of the next buffer, and a stopped
    // player passes samples straight through.
    resetSpeedStage();
    EXPECT_EQ(process({7, 8, 9, 10}), (Samples{7, 8, 7, 8}));
    stopped = 1;
    EXPECT_EQ(process({7, 8, 9, 10}), (Samples{7, 8, 9, 10}));
}

TEST_F(MasterCallbackTest, SpeedJustBelowFullIsTheOnlyOneThatResamples) {
    speed = 99.999f;
    EXPECT_EQ(process({1, 2, 3, 4}), (Samples{1, 2, 3, 4}));
    plugChannels = 1;
    speed = 50.0f;
    prepareSpeedRing();
    Samples mono = {1, 2, 3, 4};
    masterCallback(mono.data(), 1, 4);
    EXPECT_EQ(mono, (Samples{1, 1, 2, 2}));
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

TEST_F(MasterCallbackTest, PeaksAreMeasuredBeforeTheGain) {
    volume = 0.02f;  // 50 comes out as 1, yet it is sound
    playing = 1;
    lastSoundTime = desk.clock() - 3.0;
    EXPECT_EQ(process({50, -50}), (Samples{1, -1}));
    EXPECT_EQ(lastSoundTime, desk.clock());
    EXPECT_EQ(trackEnded, 0);
}

TEST_F(MasterCallbackTest, WithAutomaticVolumeSoundIsCheckedOnTheUpdateGrid) {
    autovolMode = 1;
    const Samples loud(1200, 1000);
    process(loud);  // the update forced by the reset
    const double checked = desk.clock();
    ASSERT_EQ(lastSoundTime, checked);
    for (int call = 1; call <= 3; ++call) {
        process(loud);
        EXPECT_EQ(lastSoundTime, checked) << "1800 frames are not past the grid's 2200, call " << call;
    }
    process(loud);
    EXPECT_EQ(lastSoundTime, desk.clock()) << "2400 frames are";
}

TEST_F(MasterCallbackTest, SoundKeepsTheTrackAliveAndAStaleTimeIsReset) {
    playing = 1;
    lastSoundTime = desk.clock() - 3.0;
    process({0, 2});  // a peak of 2 counts as sound
    EXPECT_EQ(lastSoundTime, desk.clock());
    EXPECT_EQ(trackEnded, 0);
    const double grace = desk.clock() + 10.0;  // a starting track's grace is kept
    lastSoundTime = grace;
    process({0, 100});
    EXPECT_EQ(lastSoundTime, grace);
    lastSoundTime = desk.clock() + 100.0;  // further ahead than any grace: stale
    process(silence(1));
    EXPECT_EQ(lastSoundTime, desk.clock());
}

}  // namespace
}  // namespace korvane
