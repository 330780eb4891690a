#include "tools/converter/analysis/real_fft.h"

#include <cmath>
#include <numbers>

namespace korvane::converter {

RealFft::RealFft(int size)
    : size_(size), reversed_(size / 2), cos_(size / 2), sin_(size / 2), re_(size / 2), im_(size / 2) {
    const int half = size / 2;
    int bits = 0;
    while ((1 << bits) < half) ++bits;
    for (int i = 0; i < half; ++i) {
        int r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        reversed_[static_cast<std::size_t>(i)] = r;
        cos_[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(2.0 * std::numbers::pi * i / size));
        sin_[static_cast<std::size_t>(i)] = static_cast<float>(-std::sin(2.0 * std::numbers::pi * i / size));
    }
    for (int span = 2; span < half; span *= 2) {
        const int step = half / span;  // e^(-2 pi i j / (2 span)) is entry j * step
        for (int j = 0; j < span; ++j) {
            stageCos_.push_back(cos_[static_cast<std::size_t>(j * step)]);
            stageSin_.push_back(sin_[static_cast<std::size_t>(j * step)]);
        }
    }
}

namespace {

// One stage's butterflies between the `span` elements at re and im and the
// `span` after them, with the factors wr + i wi: independent of each other,
// so the compiler runs several side by side, each the same operations as
// alone.
void butterflies(float* __restrict re, float* __restrict im, const float* __restrict wr, const float* __restrict wi,
                 std::size_t span) {
    for (std::size_t j = 0; j < span; ++j) {
        const float oddRe = re[span + j] * wr[j] - im[span + j] * wi[j];
        const float oddIm = re[span + j] * wi[j] + im[span + j] * wr[j];
        re[span + j] = re[j] - oddRe;
        im[span + j] = im[j] - oddIm;
        re[j] = re[j] + oddRe;
        im[j] = im[j] + oddIm;
    }
}

}  // namespace

// The real signal is transformed as a complex one of half the length (even
// samples real, odd imaginary), then its two interleaved spectra are parted.
void RealFft::magnitudes(const float* signal, float* magnitudes) {
    const std::size_t half = re_.size();
    for (std::size_t i = 0; i < half; ++i) {
        const auto r = static_cast<std::size_t>(reversed_[i]);
        re_[r] = signal[2 * i];
        im_[r] = signal[2 * i + 1];
    }
    // The first stage's factor is 1: its butterflies are a sum and a
    // difference, the same numbers the products by 1 and 0 would give.
    for (std::size_t start = 0; start < half; start += 2) {
        const float aRe = re_[start], aIm = im_[start], bRe = re_[start + 1], bIm = im_[start + 1];
        re_[start] = aRe + bRe;
        im_[start] = aIm + bIm;
        re_[start + 1] = aRe - bRe;
        im_[start + 1] = aIm - bIm;
    }
    for (std::size_t span = 2; span < half; span *= 2)
        for (std::size_t start = 0; start < half; start += 2 * span)
            butterflies(re_.data() + start, im_.data() + start, stageCos_.data() + span - 2,
                        stageSin_.data() + span - 2, span);
    // X[k] = E[k] + w^k O[k], with E and O the spectra of the even and odd
    // samples: E[k] = (Z[k] + conj Z[-k]) / 2, O[k] = (Z[k] - conj Z[-k]) / 2i.
    for (std::size_t k = 0; k <= half; ++k) {
        const std::size_t p = k < half ? k : 0, q = k > 0 ? half - k : 0;  // k and -k, modulo half
        const float evenRe = 0.5f * (re_[p] + re_[q]), evenIm = 0.5f * (im_[p] - im_[q]);
        const float oddRe = 0.5f * (im_[p] + im_[q]), oddIm = -0.5f * (re_[p] - re_[q]);
        const float wr = k < half ? cos_[k] : -1.0f, wi = k < half ? sin_[k] : 0.0f;
        const float xRe = evenRe + (oddRe * wr - oddIm * wi);
        const float xIm = evenIm + (oddRe * wi + oddIm * wr);
        magnitudes[k] = std::sqrt(xRe * xRe + xIm * xIm);
    }
}

}  // namespace korvane::converter
