// A look-ahead peak limiter for the built-in synthesizer's output: no
// sample leaves above the ceiling (but for the rounding of its last bit), and the gain bends down smoothly before a
// peak instead of cutting it.
//
// For each frame the gain that would keep it at the ceiling is known; the
// gain applied to a frame is the mean, over the window that follows it, of
// the smallest such gain seen in the window before each frame, after a
// slow release. Each of those minima covers the frame itself, so their mean
// never lets it pass the ceiling, and it falls over one window length
// instead of in one step. The output trails the input by `latency` frames.
//
// No allocation, no lock: runs on the synthesizer's audio thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane {

class PeakLimiter {
public:
    static constexpr int window = 64;           // frames, 1.45 ms at 44100 Hz
    static constexpr int latency = window - 1;  // frames the output trails the input
    static constexpr float ceiling = 0.891f;    // -1 dBFS
    static constexpr double releaseSeconds = 0.15;

    explicit PeakLimiter(double sampleRate = 44100.0);

    // In place, frames of the left and right channel `step` floats apart
    // (2 for interleaved stereo, 1 for separate channel buffers).
    void process(float* left, float* right, std::ptrdiff_t step, int frames);

    // The gain applied to the last frame that left, 1 when none is limited.
    float gain() const { return gain_; }

private:
    float nextGain(float required);

    float release_;
    // The frames waiting their turn, interleaved.
    std::array<float, 2 * latency> delay_{};
    int delayPos_ = 0;
    // The sliding minimum of the required gains over the last window frames:
    // candidates in arrival order, their gains increasing.
    std::array<float, window> minGain_{};
    std::array<std::int64_t, window> minFrame_{};
    int minHead_ = 0;
    int minCount_ = 0;
    std::int64_t frame_ = 0;
    float released_ = 1.0f;
    // The mean over the window of the released minima.
    std::array<float, window> box_{};
    double boxSum_ = window;
    int boxPos_ = 0;
    float gain_ = 1.0f;
};

}  // namespace korvane
