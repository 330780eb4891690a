// The converter's note analysis from spectrum to notes: the note model's
// probabilities, decided into notes, with each note's level read from the
// spectrum at its pitch. The stages are in spectrum.h, note_model.h and
// note_decoding.h.
#pragma once

#include <deque>
#include <vector>

#include "tools/converter/analysis/note_decoding.h"
#include "tools/converter/analysis/note_model.h"
#include "tools/converter/analysis/spectrum.h"

namespace korvane::converter {

class NoteAnalysis {
public:
    explicit NoteAnalysis(InstructionSet set = bestInstructionSet());

    // The spectrum's frames, in order.
    void push(const SpectrumFrame& frame);
    // The spectrum has ended: the notes, in order of onset.
    std::vector<RefinedNote> finish();

private:
    // Amplitudes of the frames the model has not yet given out: it answers
    // a few frames late.
    std::deque<NoteAmplitudes> waiting_;
    NoteDecoder decoder_;
    NoteModel model_;
};

}  // namespace korvane::converter
