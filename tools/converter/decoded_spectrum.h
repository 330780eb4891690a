// The spectrum of an MP3 file as the converter's analysis sees it: the
// decoder's stereo at 44.1 kHz, mixed to mono and measured against the
// file's own peak.
#pragma once

#include <string>

#include "tools/converter/analysis/spectrum.h"
#include "tools/converter/conversion.h"

namespace korvane::converter {

// Decodes the file twice: once for its peak, once into the spectrum, whose
// frames go to `frames`; samples, when set, also receives the second pass's
// samples. False when the file gives no audio.
bool decodedSpectrum(ConversionRun& run, const std::string& path, const Spectrum::FrameSink& frames,
                     const SampleSink& samples = {});

}  // namespace korvane::converter
