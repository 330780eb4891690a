#include "tools/converter/decoded_spectrum.h"

#include <vector>

namespace korvane::converter {

bool decodedSpectrum(ConversionRun& run, const std::string& path, const Spectrum::FrameSink& frames,
                     const SampleSink& samples) {
    const int loudest = run.loudestSum(path);
    if (loudest < 0) return false;
    // The mono signal is half of left + right.
    Spectrum spectrum(0.5f * static_cast<float>(loudest), frames);
    std::vector<float> mono;
    const SampleSink feed = [&](const std::int16_t* stereo, int count) {
        mono.resize(static_cast<std::size_t>(count));
        for (std::size_t i = 0; i < mono.size(); ++i)
            mono[i] = 0.5f * (static_cast<float>(stereo[2 * i]) + static_cast<float>(stereo[2 * i + 1]));
        spectrum.push(mono.data(), mono.size());
        if (samples) samples(stereo, count);
    };
    if (run.loudestSum(path, feed) < 0) return false;
    spectrum.finish();
    return true;
}

}  // namespace korvane::converter
