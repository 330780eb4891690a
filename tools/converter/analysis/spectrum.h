// The front end of the converter's note analysis: a log-frequency magnitude
// spectrum, three bins to a semitone from MIDI pitch 20 to 128.67, every
// 432 samples (9.8 ms) of a 44.1 kHz signal.
//
// One FFT length (1024) serves three bands of the signal: the full rate for
// the bins from MIDI 86 up (23 ms windows, sharp timing where the partials of
// most notes lie), a quarter rate for MIDI 62 to 86 (93 ms), and a sixteenth
// for the bins below (371 ms windows, 2.7 Hz apart, so the low notes' own
// partials stand apart). Each band is centred on the same instant, so a frame
// is one moment of the music at every pitch.
//
// Values are ln(1 + 10^4 a), with a the amplitude of a sinusoid at that
// pitch as a share of the signal's peak: 0 is silence, about 9.2 a full-scale
// tone, whatever the file's own level.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/converter/analysis/real_fft.h"

namespace korvane::converter {

constexpr int spectrumRate = 44100;
constexpr int spectrumHop = 432;  // samples between frames
constexpr int spectrumBins = 327;
constexpr int binsPerSemitone = 3;
constexpr double lowestBinPitch = 20.0;  // MIDI pitch of bin 0

using SpectrumFrame = std::array<float, spectrumBins>;

// The time of frame k, in seconds from the first sample.
constexpr double spectrumFrameTime(std::int64_t k) {
    return static_cast<double>(k) * spectrumHop / spectrumRate;
}

// A signal known from index `first` on, with what is no longer needed
// dropped from the front; zero outside what was given.
class SampleLine {
public:
    void append(float sample) { samples_.push_back(sample); }
    std::int64_t end() const { return first_ + static_cast<std::int64_t>(samples_.size()); }
    float at(std::int64_t i) const {
        return i >= first_ && i < end() ? samples_[static_cast<std::size_t>(i - first_)] : 0.0f;
    }
    // The `count` samples from index `from` where all of them are held, else
    // null.
    const float* span(std::int64_t from, int count) const {
        return from >= first_ && from + count <= end() ? samples_.data() + (from - first_) : nullptr;
    }
    // Forgets the samples before `index`.
    void dropBefore(std::int64_t index);

private:
    std::vector<float> samples_;
    std::int64_t first_ = 0;
};

class Spectrum {
public:
    using FrameSink = std::function<void(const SpectrumFrame&)>;

    // peak: the largest absolute sample the signal holds (its unit is the
    // samples' own).
    Spectrum(float peak, FrameSink sink);

    // Feeds the next samples of the signal; every frame whose windows the
    // samples complete goes to the sink.
    void push(const float* samples, std::size_t count);
    // The signal has ended: the frames up to its last sample go to the sink,
    // their windows padded with silence.
    void finish();

private:
    struct Band;
    bool frameReady(std::int64_t frame, bool ended) const;
    void emit(std::int64_t frame);

    FrameSink sink_;
    float scale_;
    SampleLine full_, quarter_, sixteenth_;
    std::int64_t nextFrame_ = 0;
    RealFft fft_;
    std::vector<float> window_, segment_, magnitudes_, logMagnitudes_;
    bool ended_ = false;
};

}  // namespace korvane::converter
