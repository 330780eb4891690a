#include "tomidi/peak_limiter.h"

#include <algorithm>
#include <cmath>

namespace korvane {

PeakLimiter::PeakLimiter(double sampleRate)
    : release_(static_cast<float>(1.0 - std::exp(-1.0 / (releaseSeconds * sampleRate)))) {
    box_.fill(1.0f);
}

float PeakLimiter::nextGain(float required) {
    // Candidates that are no smaller than the new one can never be the
    // minimum again; the oldest leaves once it is out of the window.
    while (minCount_ > 0 && minGain_[(minHead_ + minCount_ - 1) % window] >= required) --minCount_;
    minGain_[(minHead_ + minCount_) % window] = required;
    minFrame_[(minHead_ + minCount_) % window] = frame_;
    ++minCount_;
    if (minFrame_[minHead_] <= frame_ - window) {
        minHead_ = (minHead_ + 1) % window;
        --minCount_;
    }
    ++frame_;

    released_ = std::min(minGain_[minHead_], released_ + (1.0f - released_) * release_);
    boxSum_ += released_ - box_[boxPos_];
    box_[boxPos_] = released_;
    if (++boxPos_ == window) {
        // Summed afresh once a window, so that rounding never piles up.
        boxPos_ = 0;
        boxSum_ = 0.0;
        for (const float g : box_) boxSum_ += g;
    }
    return static_cast<float>(boxSum_ / window);
}

void PeakLimiter::process(float* left, float* right, std::ptrdiff_t step, int frames) {
    for (int i = 0; i < frames; ++i, left += step, right += step) {
        const float peak = std::max(std::fabs(*left), std::fabs(*right));
        // Not a number compares false and asks for no change.
        const float required = peak > ceiling ? ceiling / peak : 1.0f;
        gain_ = nextGain(required);
        // The frame that entered `latency` frames ago leaves; this one
        // takes its place.
        float* slot = &delay_[2 * static_cast<std::size_t>(delayPos_)];
        const float outLeft = slot[0] * gain_;
        const float outRight = slot[1] * gain_;
        slot[0] = *left;
        slot[1] = *right;
        delayPos_ = delayPos_ + 1 == latency ? 0 : delayPos_ + 1;
        *left = outLeft;
        *right = outRight;
    }
}

}  // namespace korvane
