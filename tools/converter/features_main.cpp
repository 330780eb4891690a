// korvane-features IN.mp3 OUT.f32: the spectrum frames the converter's note
// analysis reads, for training its note model: raw little-endian float32,
// spectrumBins values per frame, one frame every spectrumHop samples of the
// decoded 44.1 kHz audio.
#include <cstdio>
#include <string>

#include "tools/converter/decoded_spectrum.h"

int main(int argc, char** argv) {
    using namespace korvane::converter;
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvane-features IN.mp3 OUT.f32\n");
        return 2;
    }
    ConversionRun run;
    std::string error;
    if (!run.start(error)) {
        std::fprintf(stderr, "korvane-features: %s\n", error.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    bool written = true;
    const bool decoded = decodedSpectrum(run, argv[1], [&](const SpectrumFrame& frame) {
        written = written && std::fwrite(frame.data(), sizeof(float), frame.size(), out) == frame.size();
    });
    written = std::fclose(out) == 0 && written;
    if (!decoded || !written) {
        std::fprintf(stderr, "korvane-features: %s: %s\n", argv[1], decoded ? "write failed" : "gives no audio");
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
