// The note model: from the spectrum frames to, for each of the 88 notes
// (MIDI 21 .. 108) and each frame, the probability that the note starts in
// that frame and that it sounds. A small convolutional network, trained by
// scripts/train-note-model.sh on music with known notes:
//
// 1. Harmonic stack: the spectrum is read at the three bins of every note
//    (264 bins, MIDI 20.67 .. 108.33) and, beside it, at 1/5, 1/4, 1/3, 1/2,
//    2, 3 ... 7 times their frequency: eleven channels, so that one bin sees
//    a note's partials, and the notes below whose partial it might be (the
//    fifth partial of a bright tone lies 28 semitones up).
// 2. Four convolutions over time and frequency: 11 -> 16 channels (3 frames
//    by 5 bins), 16 -> 8 (3 by 3), 8 -> 8 (5 by 3, three bins to a note),
//    then 8 -> 2 (9 frames two apart by 3 notes: 170 ms, the slow attack of
//    a bowed or blown note and what sounded before it).
//
// It runs as the frames come: a frame's probabilities are known twelve
// frames later, and only the last few frames of each layer are kept.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/converter/analysis/convolution.h"
#include "tools/converter/analysis/spectrum.h"

namespace korvane::converter {

constexpr int lowestModelNote = 21;
constexpr int modelNotes = 88;

struct NoteFrame {
    std::array<float, modelNotes> onset;     // a note starts in this frame
    std::array<float, modelNotes> sounding;  // a note sounds in this frame
};

// A checksum of the model's weights (FNV-1a over their bytes): results made
// by another model carry another number.
std::uint32_t noteModelIdentity();

class NoteModel {
public:
    using FrameSink = std::function<void(const NoteFrame&)>;

    NoteModel(FrameSink sink, InstructionSet set = bestInstructionSet());

    void push(const SpectrumFrame& frame);
    // The spectrum has ended: the last frames' probabilities go to the sink.
    void finish();

private:
    struct Layer {
        ConvolutionShape shape;
        int spacing;                // frames between the kernel's frames
        int span;                   // input frames the kernel reaches over
        std::vector<float> weights;  // as the convolution reads them
        const float* bias;
        std::vector<float> inputs;  // the last `span` input frames, a ring
        std::vector<float> output;  // the frame being made
        std::int64_t given = 0;     // input frames given so far
        std::int64_t made = 0;      // output frames made so far
    };
    // Stores a layer's next input frame and makes what it allows.
    void give(std::size_t layer, const float* frame);
    // Makes a layer's output frames as far as its inputs allow.
    void drain(std::size_t layer);

    FrameSink sink_;
    Convolve convolve_;
    std::vector<float> stacked_;  // the harmonic stack of the newest frame
    std::array<Layer, 4> layers_;
    std::int64_t total_ = -1;  // frames in all, once the spectrum has ended
};

}  // namespace korvane::converter
