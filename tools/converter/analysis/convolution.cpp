#include "tools/converter/analysis/convolution.h"

namespace korvane::converter {

std::vector<float> packedWeights(const ConvolutionShape& shape, const float* weights) {
    const int perOutput = shape.inputs * shape.times * shape.taps;
    std::vector<float> packed(static_cast<std::size_t>(shape.outputs * perOutput));
    const int whole = shape.outputs / outputBlock * outputBlock;  // outputs in whole blocks
    for (int o = 0; o < shape.outputs; ++o) {
        const int block = o < whole ? outputBlock : 1;
        const int first = o < whole ? o / outputBlock * outputBlock : o;
        for (int j = 0; j < perOutput; ++j)
            packed[static_cast<std::size_t>(first * perOutput + j * block + (o - first))] =
                weights[static_cast<std::size_t>(o * perOutput + j)];
    }
    return packed;
}

Convolve convolutionFor(InstructionSet set) {
    switch (set) {
        case InstructionSet::Avx2: return avx2::convolve;
        case InstructionSet::Sse2: return sse2::convolve;
        case InstructionSet::Plain: break;
    }
    return plain::convolve;
}

InstructionSet bestInstructionSet() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return InstructionSet::Avx2;
    if (__builtin_cpu_supports("sse2")) return InstructionSet::Sse2;
#endif
    return InstructionSet::Plain;
}

}  // namespace korvane::converter
