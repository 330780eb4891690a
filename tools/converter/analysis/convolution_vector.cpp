// The convolution in vector registers, compiled once per instruction set:
// the build names the set's namespace (INSTRUCTION_SET: sse2 or avx2) and
// gives the compiler its flags.
#include <cstring>

#include "tools/converter/analysis/convolution.h"

namespace korvane::converter::INSTRUCTION_SET {

namespace {

// Eight floats in the vector registers of the instruction set this file is
// compiled for.
typedef float Lanes __attribute__((vector_size(32)));
Lanes splat(float value) { return Lanes{} + value; }
float lane(const Lanes& x, int j) { return x[j]; }

}  // namespace

#include "tools/converter/analysis/convolution_kernel.inc"

}  // namespace korvane::converter::INSTRUCTION_SET
