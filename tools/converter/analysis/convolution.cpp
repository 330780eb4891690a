#include "tools/converter/analysis/convolution.h"

namespace korvane::converter {

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
