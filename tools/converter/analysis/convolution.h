// One layer of the note model: a 2-D convolution over time and frequency,
// then optionally a rectifier. Written once and compiled for three
// instruction sets (plain scalar code, SSE2 and AVX2); every output is the
// same sequence of multiplications and additions on each of them, so all
// three give the same bits.
#pragma once

#include <vector>

namespace korvane::converter {

struct ConvolutionShape {
    int inputs;     // input channels
    int outputs;    // output channels
    int times;      // kernel frames
    int taps;       // kernel frequency bins
    int stride;     // frequency stride
    int width;      // output bins per channel, a multiple of 8
    int inputRow;   // floats per input channel row (padding included)
    int outputRow;  // floats per output channel row
    int outputPad;  // zero bins before the outputs in each output row
    bool rectify;
};

// out[o][outputPad + i] = bias[o] + sum over c, t, k of
// w[o][c][t][k] * frames[t][c * inputRow + i * stride + k], with `weights`
// holding w as packedWeights orders it. A null frame stands for silence
// (zeros) and is skipped.
using Convolve = void (*)(const ConvolutionShape& shape, const float* weights, const float* bias,
                          const float* const* frames, float* out);

// Outputs the convolution sums side by side, each input load serving them all.
constexpr int outputBlock = 8;

// The weights w[o][c][t][k] in the order the convolution reads them: each
// block of outputBlock outputs holds, for every channel, frame and tap, its
// outputs' weights side by side, so one pointer serves the whole block; an
// output after the last whole block keeps its own order.
std::vector<float> packedWeights(const ConvolutionShape& shape, const float* weights);

enum class InstructionSet { Plain, Sse2, Avx2 };

// The convolution compiled for an instruction set.
Convolve convolutionFor(InstructionSet set);
// The best the processor running this has.
InstructionSet bestInstructionSet();

namespace plain { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }
namespace sse2 { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }
namespace avx2 { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }

}  // namespace korvane::converter
