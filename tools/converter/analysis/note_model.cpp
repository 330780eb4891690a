#include "tools/converter/analysis/note_model.h"

#include <algorithm>
#include <cmath>

namespace korvane::converter {

namespace {

#include "tools/converter/analysis/note_model_weights.inc"

constexpr int harmonics = 11;
// Bins between a bin and the same pitch times 1/5, 1/4, 1/3, 1/2, 1, 2, 3,
// 4, 5, 6, 7: round(36 log2 h).
constexpr std::array<int, harmonics> harmonicShift = {-84, -72, -57, -36, 0, 36, 57, 72, 84, 93, 101};
constexpr int modelBins = 3 * modelNotes;  // MIDI 20.67 .. 108.33
constexpr int firstModelBin = 2;           // the spectrum bin of MIDI 20.67

constexpr ConvolutionShape firstShape{harmonics, 16, 3, 5, 1, modelBins, modelBins + 4, modelBins + 2, 1, true};
constexpr ConvolutionShape secondShape{16, 8, 3, 3, 1, modelBins, modelBins + 2, modelBins, 0, true};
constexpr ConvolutionShape thirdShape{8, 8, 5, 3, 3, modelNotes, modelBins, modelNotes + 2, 1, true};
constexpr ConvolutionShape lastShape{8, 2, 9, 3, 1, modelNotes, modelNotes + 2, modelNotes, 0, false};
constexpr int lastSpacing = 2;
constexpr int mostKernelFrames =
    std::max({firstShape.times, secondShape.times, thirdShape.times, lastShape.times});

constexpr std::size_t weightCount(const ConvolutionShape& s) {
    return static_cast<std::size_t>(s.outputs * s.inputs * s.times * s.taps);
}
static_assert(std::size(noteModelWeights) == weightCount(firstShape) + 16 + weightCount(secondShape) + 8 +
                                                 weightCount(thirdShape) + 8 + weightCount(lastShape) + 2,
              "the weights do not fit the model");

std::size_t frameSize(const ConvolutionShape& s) { return static_cast<std::size_t>(s.inputs * s.inputRow); }

float sigmoid(float x) { return 1.0f / (1.0f + std::exp(-x)); }

}  // namespace

std::uint32_t noteModelIdentity() {
    std::uint32_t hash = 2166136261u;
    const auto* bytes = reinterpret_cast<const unsigned char*>(noteModelWeights);
    for (std::size_t i = 0; i < sizeof noteModelWeights; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

NoteModel::NoteModel(FrameSink sink, InstructionSet set)
    : sink_(std::move(sink)), convolve_(convolutionFor(set)), stacked_(frameSize(firstShape), 0.0f) {
    const float* next = noteModelWeights;
    std::size_t l = 0;
    for (const auto& [shape, spacing] : {std::pair{firstShape, 1}, std::pair{secondShape, 1}, std::pair{thirdShape, 1},
                                         std::pair{lastShape, lastSpacing}}) {
        Layer& layer = layers_[l++];
        layer.shape = shape;
        layer.spacing = spacing;
        layer.span = (shape.times - 1) * spacing + 1;
        layer.weights = packedWeights(shape, next);
        layer.bias = next + weightCount(shape);
        next = layer.bias + shape.outputs;
        layer.inputs.assign(frameSize(shape) * static_cast<std::size_t>(layer.span), 0.0f);
        // The padding around each output row stays zero: only the bins
        // within it are written.
        layer.output.assign(static_cast<std::size_t>(shape.outputs * shape.outputRow), 0.0f);
    }
}

void NoteModel::push(const SpectrumFrame& frame) {
    for (int c = 0; c < harmonics; ++c) {
        float* row = stacked_.data() + c * firstShape.inputRow + 2;
        for (int i = 0; i < modelBins; ++i) {
            const int source = firstModelBin + i + harmonicShift[static_cast<std::size_t>(c)];
            row[i] = source >= 0 && source < spectrumBins ? frame[static_cast<std::size_t>(source)] : 0.0f;
        }
    }
    give(0, stacked_.data());
}

void NoteModel::finish() {
    if (total_ >= 0) return;
    total_ = layers_[0].given;
    for (std::size_t l = 0; l < layers_.size(); ++l) drain(l);
}

void NoteModel::give(std::size_t l, const float* frame) {
    Layer& layer = layers_[l];
    const std::size_t size = frameSize(layer.shape);
    const auto slot = static_cast<std::size_t>(layer.given % layer.span);
    std::copy(frame, frame + size, layer.inputs.begin() + static_cast<std::ptrdiff_t>(slot * size));
    ++layer.given;
    drain(l);
}

// Output frame t of a layer reads its input frames t - reach .. t + reach,
// `spacing` apart; those before the first and, once the input has ended, after the last are
// silence. Each frame made goes on to the next layer at once, so no ring
// holds a frame longer than its layer reads it.
void NoteModel::drain(std::size_t l) {
    Layer& layer = layers_[l];
    const ConvolutionShape& shape = layer.shape;
    const int reach = (layer.span - 1) / 2;
    const bool ended = total_ >= 0;
    for (;;) {
        const std::int64_t t = layer.made;
        if (ended && t >= total_) return;
        const std::int64_t last = ended ? std::min(t + reach, total_ - 1) : t + reach;
        if (last >= layer.given) return;
        std::array<const float*, mostKernelFrames> frames{};
        for (int k = 0; k < shape.times; ++k) {
            const std::int64_t input = t - reach + k * layer.spacing;
            if (input >= 0 && (!ended || input < total_))
                frames[static_cast<std::size_t>(k)] =
                    layer.inputs.data() + static_cast<std::size_t>(input % layer.span) * frameSize(shape);
        }
        convolve_(shape, layer.weights.data(), layer.bias, frames.data(), layer.output.data());
        ++layer.made;
        if (l + 1 < layers_.size()) {
            give(l + 1, layer.output.data());
        } else {
            NoteFrame out;
            for (int n = 0; n < modelNotes; ++n) {
                out.onset[static_cast<std::size_t>(n)] = sigmoid(layer.output[static_cast<std::size_t>(n)]);
                out.sounding[static_cast<std::size_t>(n)] = sigmoid(layer.output[static_cast<std::size_t>(modelNotes + n)]);
            }
            sink_(out);
        }
    }
}

}  // namespace korvane::converter
