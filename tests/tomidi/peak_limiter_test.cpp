// The synthesizer's peak limiter: what stays below the ceiling passes
// untouched, only later; nothing passes above it, however it is cut into
// blocks; and the gain bends down before a peak and comes back after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tomidi/peak_limiter.h"

namespace korvane {
namespace {

constexpr int latency = PeakLimiter::latency;

// Interleaved stereo: a 440 Hz tone at the given peak, left and right apart
// by a quarter period.
std::vector<float> tone(int frames, float peak) {
    std::vector<float> samples(2 * static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double phase = 2.0 * M_PI * 440.0 * i / 44100.0;
        samples[2 * i] = peak * static_cast<float>(std::sin(phase));
        samples[2 * i + 1] = peak * static_cast<float>(std::cos(phase));
    }
    return samples;
}

// Quiet music with loud bursts (up to four times the ceiling) at random.
std::vector<float> burstyNoise(int frames, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> samples(2 * static_cast<std::size_t>(frames));
    float loudness = 0.2f;
    for (int i = 0; i < frames; ++i) {
        if (i % 500 == 0) loudness = random() % 3 == 0 ? 3.5f : 0.2f;
        samples[2 * i] = loudness * sample(random);
        samples[2 * i + 1] = loudness * sample(random);
    }
    return samples;
}

TEST(PeakLimiter, BelowTheCeilingTheSoundPassesUnchangedItsLatencyLater) {
    std::vector<float> samples = tone(3000, 0.85f);
    const std::vector<float> input = samples;
    PeakLimiter limiter;
    limiter.process(samples.data(), samples.data() + 1, 2, 3000);
    for (int i = 0; i < latency; ++i) {
        EXPECT_EQ(samples[2 * i], 0.0f) << i;
        EXPECT_EQ(samples[2 * i + 1], 0.0f) << i;
    }
    for (int i = latency; i < 3000; ++i) {
        ASSERT_EQ(samples[2 * i], input[2 * (i - latency)]) << i;
        ASSERT_EQ(samples[2 * i + 1], input[2 * (i - latency) + 1]) << i;
    }
    EXPECT_EQ(limiter.gain(), 1.0f);
}

TEST(PeakLimiter, NoSampleLeavesAboveTheCeilingInBlocksOfAnySize) {
    const int frames = 44100;
    const std::vector<float> input = burstyNoise(frames, 7);

    std::vector<float> whole = input;
    PeakLimiter once;
    once.process(whole.data(), whole.data() + 1, 2, frames);
    for (int i = 0; i < 2 * frames; ++i)
        ASSERT_LE(std::fabs(whole[i]), PeakLimiter::ceiling * (1.0f + 1e-6f)) << "sample " << i;

    // Blocks of 0, 1, odd sizes, one window and more, on separate channel
    // buffers as an audio driver hands them: the same output.
    std::vector<float> left(frames);
    std::vector<float> right(frames);
    for (int i = 0; i < frames; ++i) {
        left[i] = input[2 * i];
        right[i] = input[2 * i + 1];
    }
    PeakLimiter inBlocks;
    const int sizes[] = {0, 1, 17, PeakLimiter::window, 1000, 4096};
    for (int done = 0, k = 0; done < frames; ++k) {
        const int size = std::min(sizes[k % 6], frames - done);
        inBlocks.process(left.data() + done, right.data() + done, 1, size);
        done += size;
    }
    for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(left[i], whole[2 * i]) << i;
        ASSERT_EQ(right[i], whole[2 * i + 1]) << i;
    }
}

TEST(PeakLimiter, TheGainBendsDownBeforeAPeakAndComesBackAfterIt) {
    // A quiet tone, then a tenth of a second at twice the ceiling, then
    // quiet again.
    const int frames = 44100;
    std::vector<float> samples = tone(frames, 0.3f);
    for (int i = 10000; i < 14410; ++i) {
        samples[2 * i] *= 2.0f * PeakLimiter::ceiling / 0.3f;
        samples[2 * i + 1] *= 2.0f * PeakLimiter::ceiling / 0.3f;
    }
    PeakLimiter limiter;
    float previous = 1.0f;
    float lowest = 1.0f;
    for (int i = 0; i < frames; ++i) {
        limiter.process(&samples[2 * i], &samples[2 * i + 1], 2, 1);
        const float gain = limiter.gain();
        ASSERT_LE(std::fabs(gain - previous), 1.0f / PeakLimiter::window + 1e-6f) << "frame " << i;
        previous = gain;
        lowest = std::min(lowest, gain);
        if (i == 9999) {
            EXPECT_EQ(gain, 1.0f) << "no loud frame in yet";
        }
        if (i == 10000 + latency) {
            EXPECT_LT(gain, 0.75f) << "down by the time they leave";
        }
    }
    EXPECT_NEAR(lowest, 0.5f, 0.01f);
    // Five release times after the loud part left, the gain is back.
    EXPECT_GT(limiter.gain(), 0.99f);
}

}  // namespace
}  // namespace korvane
