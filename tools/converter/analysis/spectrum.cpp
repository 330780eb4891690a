#include "tools/converter/analysis/spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvane::converter {

namespace {

constexpr int fftLength = 1024;
constexpr int halfWindow = fftLength / 2;
constexpr int decimation = 4;  // each band a quarter of the rate of the one above
constexpr int filterReach = 31;  // taps either side of a decimation filter's centre
// The bands' lower edges, as MIDI pitches.
constexpr double quarterFrom = 62.0;
constexpr double fullFrom = 86.0;

// A linear-phase low-pass for decimating by 4, Blackman-windowed sinc. Its
// cutoff at 0.09 of the input rate (4 kHz at 44.1 kHz) leaves the band below a
// tenth of the input rate flat and keeps what folds into it under -70 dB.
const std::array<float, 2 * filterReach + 1>& decimationFilter() {
    static const std::array<float, 2 * filterReach + 1> taps = [] {
        std::array<float, 2 * filterReach + 1> t{};
        constexpr double cutoff = 0.09;
        double sum = 0.0;
        std::array<double, 2 * filterReach + 1> h{};
        for (int j = -filterReach; j <= filterReach; ++j) {
            const double x = 2.0 * cutoff * j;
            const double sinc = j == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
            const double phase = std::numbers::pi * (j + filterReach) / filterReach;
            const double blackman = 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
            h[static_cast<std::size_t>(j + filterReach)] = sinc * blackman;
            sum += sinc * blackman;
        }
        for (std::size_t i = 0; i < h.size(); ++i) t[i] = static_cast<float>(h[i] / sum);
        return t;
    }();
    return taps;
}

// The next sample of `to`, the decimated `from`, centred on from's sample
// decimation * to.end().
void decimateOnce(const SampleLine& from, SampleLine& to) {
    const std::int64_t centre = decimation * to.end();
    float sum = 0.0f;
    const auto& taps = decimationFilter();
    if (const float* x = from.span(centre - filterReach, 2 * filterReach + 1)) {
        for (std::size_t j = 0; j < taps.size(); ++j) sum += taps[j] * x[j];
    } else {
        for (int j = -filterReach; j <= filterReach; ++j)
            sum += taps[static_cast<std::size_t>(j + filterReach)] * from.at(centre + j);
    }
    to.append(sum);
}

// Where a bin reads the spectrum of its band: at its centre frequency, by a
// parabola through the log magnitudes of the three nearest FFT bins (the
// shape of a windowed sinusoid's peak, so a tone between two FFT bins peaks
// at its own pitch), and no less than the largest FFT bin within a sixth of a
// semitone where the FFT bins are closer than that.
struct BinSource {
    int band;     // 0: sixteenth rate, 1: quarter rate, 2: full rate
    int nearest;  // FFT bin nearest the centre, 1 .. fftLength / 2 - 1
    float offset;  // centre - nearest, -0.5 .. 0.5
    int from, to;  // FFT bins within a sixth of a semitone
};

const std::array<BinSource, spectrumBins>& binSources() {
    static const std::array<BinSource, spectrumBins> sources = [] {
        std::array<BinSource, spectrumBins> s{};
        for (int b = 0; b < spectrumBins; ++b) {
            const double pitch = lowestBinPitch + static_cast<double>(b) / binsPerSemitone;
            const int band = pitch < quarterFrom ? 0 : pitch < fullFrom ? 1 : 2;
            const double rate = spectrumRate / std::pow(decimation, 2 - band);
            const double hertz = 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0);
            const double position = hertz * fftLength / rate;
            const double edge = std::pow(2.0, 1.0 / (12.0 * 2 * binsPerSemitone));
            const int nearest = std::clamp(static_cast<int>(std::lround(position)), 1, halfWindow - 1);
            s[static_cast<std::size_t>(b)] = {band, nearest, static_cast<float>(position - nearest),
                                              static_cast<int>(std::ceil(position / edge)),
                                              std::min(halfWindow, static_cast<int>(std::floor(position * edge)))};
        }
        return s;
    }();
    return sources;
}

// The FFT bins of each band whose logarithms the bins read.
const std::array<std::vector<int>, 3>& neededLogs() {
    static const std::array<std::vector<int>, 3> needed = [] {
        std::array<std::vector<int>, 3> n;
        for (const BinSource& s : binSources())
            for (int k = s.nearest - 1; k <= s.nearest + 1; ++k) {
                std::vector<int>& band = n[static_cast<std::size_t>(s.band)];
                if (band.empty() || band.back() < k) band.push_back(k);
            }
        return n;
    }();
    return needed;
}

// A bin's amplitude from its band's FFT magnitudes and their logarithms.
float binAmplitude(const BinSource& s, const std::vector<float>& magnitude, const std::vector<float>& logMagnitude) {
    const auto k = static_cast<std::size_t>(s.nearest);
    const float below = logMagnitude[k - 1], centre = logMagnitude[k], above = logMagnitude[k + 1];
    const float d = s.offset;
    const float curve = above - 2.0f * centre + below;
    const float log = centre + 0.5f * d * (above - below) + 0.5f * d * d * curve;
    // A parabola open upwards (a trough) is kept within its three points.
    float a = std::exp(log);
    if (curve >= 0.0f) a = std::min(a, std::max({magnitude[k - 1], magnitude[k], magnitude[k + 1]}));
    for (int j = s.from; j <= s.to; ++j) a = std::max(a, magnitude[static_cast<std::size_t>(j)]);
    return a;
}

}  // namespace

void SampleLine::dropBefore(std::int64_t index) {
    const std::int64_t drop = std::min(index - first_, static_cast<std::int64_t>(samples_.size()));
    // Erasing moves what is kept: do it only once enough is dropped to pay.
    if (drop < 65536) return;
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(drop));
    first_ += drop;
}

Spectrum::Spectrum(float peak, FrameSink sink)
    : sink_(std::move(sink)),
      scale_(peak > 0.0f ? 4.0f / (fftLength * peak) : 0.0f),
      fft_(fftLength),
      window_(fftLength),
      segment_(fftLength),
      magnitudes_(halfWindow + 1),
      logMagnitudes_(halfWindow + 1) {
    for (int n = 0; n < fftLength; ++n)
        window_[static_cast<std::size_t>(n)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / fftLength));
}

// Frame k is centred on sample spectrumHop * k of the full rate, a quarter of
// that in the quarter band and a sixteenth in the lowest.
bool Spectrum::frameReady(std::int64_t frame, bool ended) const {
    if (ended) return spectrumHop * frame <= full_.end();
    return sixteenth_.end() > spectrumHop / 16 * frame + halfWindow;
}

void Spectrum::push(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        full_.append(samples[i]);
        // A decimated sample is made once the samples its filter reaches are in.
        while (decimation * quarter_.end() + filterReach < full_.end()) {
            decimateOnce(full_, quarter_);
            while (decimation * sixteenth_.end() + filterReach < quarter_.end()) decimateOnce(quarter_, sixteenth_);
        }
    }
    while (frameReady(nextFrame_, false)) emit(nextFrame_++);
}

void Spectrum::finish() {
    if (ended_) return;
    ended_ = true;
    // The last frames' windows reach past the end: fill the decimated lines
    // from the silence after it.
    std::int64_t frames = nextFrame_;
    while (frameReady(frames, true)) ++frames;
    const std::int64_t lastCentre = spectrumHop * (frames - 1);
    const std::int64_t sixteenthEnd = lastCentre / 16 + halfWindow;
    const std::int64_t quarterEnd = std::max(lastCentre / 4 + halfWindow, decimation * sixteenthEnd + filterReach + 1);
    while (quarter_.end() < quarterEnd) decimateOnce(full_, quarter_);
    while (sixteenth_.end() < sixteenthEnd) decimateOnce(quarter_, sixteenth_);
    while (nextFrame_ < frames) emit(nextFrame_++);
}

void Spectrum::emit(std::int64_t frame) {
    const std::int64_t centre = spectrumHop * frame;
    SpectrumFrame out{};
    const SampleLine* lines[3] = {&sixteenth_, &quarter_, &full_};
    const auto& sources = binSources();
    std::size_t b = 0;
    for (int band = 0; band < 3; ++band) {
        const SampleLine& line = *lines[band];
        const std::int64_t middle = centre / (band == 0 ? 16 : band == 1 ? 4 : 1);
        if (const float* x = line.span(middle - halfWindow, fftLength)) {
            for (std::size_t n = 0; n < segment_.size(); ++n) segment_[n] = window_[n] * x[n];
        } else {
            for (int n = 0; n < fftLength; ++n)
                segment_[static_cast<std::size_t>(n)] =
                    window_[static_cast<std::size_t>(n)] * line.at(middle - halfWindow + n);
        }
        fft_.magnitudes(segment_.data(), magnitudes_.data());
        for (const int k : neededLogs()[static_cast<std::size_t>(band)])
            logMagnitudes_[static_cast<std::size_t>(k)] = std::log(magnitudes_[static_cast<std::size_t>(k)] + 1e-9f);
        for (; b < sources.size() && sources[b].band == band; ++b)
            out[b] = std::log1p(1e4f * scale_ * binAmplitude(sources[b], magnitudes_, logMagnitudes_));
    }
    sink_(out);
    // What the next frame and the next decimated samples still read.
    const std::int64_t next = centre + spectrumHop;
    full_.dropBefore(std::min(next - halfWindow, decimation * quarter_.end() - filterReach));
    quarter_.dropBefore(std::min(next / 4 - halfWindow, decimation * sixteenth_.end() - filterReach));
    sixteenth_.dropBefore(next / 16 - halfWindow);
}

}  // namespace korvane::converter
