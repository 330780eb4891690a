// One layer of the note model: a 2-D convolution over time and frequency,
// then optionally a rectifier. Written once and compiled for three
// instruction sets (plain scalar code, SSE2 and AVX2); every output is the
// same sequence of multiplications and additions on each of them, so all
// three give the same bits.
#pragma once

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
// weights[o][c][t][k] * frames[t][c * inputRow + i * stride + k]. A null
// frame stands for silence (zeros) and is skipped.
using Convolve = void (*)(const ConvolutionShape& shape, const float* weights, const float* bias,
                          const float* const* frames, float* out);

enum class InstructionSet { Plain, Sse2, Avx2 };

// The convolution compiled for an instruction set.
Convolve convolutionFor(InstructionSet set);
// The best the processor running this has.
InstructionSet bestInstructionSet();

namespace plain { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }
namespace sse2 { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }
namespace avx2 { void convolve(const ConvolutionShape&, const float*, const float*, const float* const*, float*); }

}  // namespace korvane::converter
