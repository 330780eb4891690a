#include "tools/converter/analysis/note_analysis.h"

#include <cmath>

namespace korvane::converter {

NoteAnalysis::NoteAnalysis(InstructionSet set)
    : model_(
          [this](const NoteFrame& frame) {
              decoder_.push(frame, waiting_.front());
              waiting_.pop_front();
          },
          set) {}

void NoteAnalysis::push(const SpectrumFrame& frame) {
    NoteAmplitudes amplitudes;
    for (int n = 0; n < modelNotes; ++n) {
        // The bin of the note's own pitch, undoing the spectrum's ln(1 + 10^4 a).
        const auto bin = static_cast<std::size_t>((lowestModelNote + n - lowestBinPitch) * binsPerSemitone);
        amplitudes[static_cast<std::size_t>(n)] = std::expm1(frame[bin]) * 1e-4f;
    }
    waiting_.push_back(amplitudes);
    model_.push(frame);
}

std::vector<RefinedNote> NoteAnalysis::finish() {
    model_.finish();
    decoder_.finish();
    return decoder_.notes();
}

}  // namespace korvane::converter
