// Automatic volume through the callback, on steady test signals: where the
// gain settles, the compressor's make-up, what quiet passages and near
// silence do to the envelope, the gain limit, and when a reset lands.
#include "effects_support.h"

namespace korvane {
namespace {

class AutoVolumeTest : public CallbackTest {
protected:
    // frames of a square wave with the given peak, in calls of 600 frames.
    Samples square(int frames, std::int16_t level) {
        Samples samples;
        for (int i = 0; i < frames * 2; ++i)
            samples.push_back(static_cast<std::int16_t>((i / 2) % 2 == 0 ? level : -level));
        return process(samples);
    }

    static int peakOf(const Samples& samples) {
        int result = 0;
        for (std::int16_t s : samples) result = std::max(result, std::abs(static_cast<int>(s)));
        return result;
    }
};

TEST_F(AutoVolumeTest, FullScalePeaksSettleAtHalfScaleTimesTheVolume) {
    autovolMode = 1;
    volume = 1.7f;
    square(600, 32767);  // the update forced by the reset measures it
    EXPECT_NEAR(heldEnvelope, 1.0f, 0.001f);
    EXPECT_NEAR(agcGain, 0.85f, 0.001f);
    EXPECT_NEAR(peakOf(square(600, 32767)), 27852, 1);
}

TEST_F(AutoVolumeTest, CompressionModeSixMakesUpToTheTarget) {
    autovolMode = 6;
    volume = 1.0f;
    square(600, 32767);
    EXPECT_FLOAT_EQ(compThreshold, 9830.4f);
    EXPECT_FLOAT_EQ(compRatio, 0.87f);
    EXPECT_NEAR(makeupGain, 1.0 / (1.0 - 0.4 * 0.87), 1e-5);
    EXPECT_NEAR(makeupGain, 1.5337f, 0.0001f);
    EXPECT_NEAR(peakOf(square(600, 32767)), 16384, 1) << "16384 before compression comes out unchanged";
}

TEST_F(AutoVolumeTest, AQuietPassageDoesNotPullTheEnvelopeDown) {
    autovolMode = 2;
    volume = 1.7f;
    square(44100, 983);  // 0.03 of full scale for a second
    EXPECT_EQ(envelope, 0.8f);
    EXPECT_EQ(heldEnvelope, 0.8f);
    EXPECT_NEAR(agcGain, 0.5f * 1.7f / 0.8f, 1e-6);
}

TEST_F(AutoVolumeTest, NearSilenceHoldsTheFastRelease) {
    autovolMode = 1;
    square(600, 300);  // 0.009 of full scale
    EXPECT_EQ(holdUntil, lastUpdate + 1.2);
    EXPECT_EQ(envelope, 0.8f);
    square(48510, 16384);  // 1.1 s of music at half scale: released quickly
    EXPECT_EQ(smoothing, 7.0f);
    EXPECT_GT(envelope, 0.5f);
    EXPECT_LT(envelope, 0.53f);
}

TEST_F(AutoVolumeTest, LowLevelsAreBroughtUpNoMoreThanFiveTimes) {
    autovolMode = 1;
    volume = 1.7f;
    square(44100 * 3, 2000);  // 0.06 of full scale
    EXPECT_EQ(agcGain, maxAgcGain);
    EXPECT_EQ(peakOf(square(600, 2000)), 10000);
}

TEST_F(AutoVolumeTest, AResetLandsAtTheStartOfTheNextBuffer) {
    autovolMode = 1;
    square(3000, 32767);
    autoVolumeReset();
    EXPECT_NE(envelope, 0.8f);
    const double requested = desk.clock();
    autovolMode = 0;  // no update to move what the reset sets
    process({});
    EXPECT_EQ(agcGain, 1.0f);
    EXPECT_EQ(envelope, 0.8f);
    EXPECT_EQ(heldEnvelope, 0.8f);
    EXPECT_EQ(frameAccumulator, forceUpdate);
    EXPECT_EQ(holdUntil, requested + 1.2);
}

}  // namespace
}  // namespace korvane
