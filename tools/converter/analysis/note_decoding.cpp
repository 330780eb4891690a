#include "tools/converter/analysis/note_decoding.h"

#include <algorithm>

#include "tools/converter/analysis/spectrum.h"

namespace korvane::converter {

void NoteDecoder::push(const NoteFrame& frame, const NoteAmplitudes& amplitudes) {
    const auto slot = static_cast<std::size_t>(given_ % kept);
    frames_[slot] = frame;
    amplitudes_[slot] = amplitudes;
    ++given_;
    while (decided_ + ahead < given_) decide(decided_++);
}

void NoteDecoder::finish() {
    while (decided_ < given_) decide(decided_++);
    for (int n = 0; n < modelNotes; ++n) end(n, given_);
}

void NoteDecoder::decide(std::int64_t frame) {
    const auto at = [&](std::int64_t k) -> const NoteFrame& { return frames_[static_cast<std::size_t>(k % kept)]; };
    const std::int64_t first = std::max<std::int64_t>(0, frame - reach);
    const std::int64_t last = std::min(given_ - 1, frame + reach);
    const NoteFrame& now = at(frame);
    const NoteAmplitudes& amplitude = amplitudes_[static_cast<std::size_t>(frame % kept)];
    for (int n = 0; n < modelNotes; ++n) {
        const auto i = static_cast<std::size_t>(n);
        Sounding& s = sounding_[i];
        const float p = now.onset[i];
        // The peak: higher than the frames before it, no lower than those after.
        bool peak = s.index < 0 ? p >= onsetThreshold : p >= restrikeThreshold || broadRestrike(frame, i);
        for (std::int64_t k = first; k <= last && peak; ++k)
            peak = k < frame ? at(k).onset[i] < p : k == frame || at(k).onset[i] <= p;
        // A detuned note lights both semitones it falls between: only the
        // likelier one starts.
        if (peak && ((n > 0 && now.onset[i - 1] > p) || (n + 1 < modelNotes && now.onset[i + 1] >= p))) peak = false;
        // An attack lights the onsets of many pitches at once; a note is one
        // that then sounds.
        float sounds = 0.0f;
        for (std::int64_t k = frame; k <= std::min(given_ - 1, frame + soundingWithin); ++k)
            sounds = std::max(sounds, at(k).sounding[i]);
        if (sounds < soundingStart) peak = false;
        // The amplitude an octave up, where the note's second partial lies.
        const float octave = n + 12 < modelNotes ? amplitude[i + 12] : 0.0f;
        if (peak) {
            if (s.index >= 0) starts_[static_cast<std::size_t>(s.index)].restarted = true;
            end(n, frame);
            double shift = 0.0;
            if (frame > 0 && frame + 1 < given_) {
                const double before = at(frame - 1).onset[i], after = at(frame + 1).onset[i];
                const double bend = before - 2.0 * p + after;
                if (bend < 0.0) shift = std::clamp(0.5 * (before - after) / bend, -0.5, 0.5);
            }
            s = {static_cast<int>(notes_.size()), frame};
            notes_.push_back({(static_cast<double>(frame) + shift) * spectrumHop / spectrumRate, 0.0,
                              lowestModelNote + n, amplitude[i]});
            starts_.push_back({octave, octave, false});
        } else if (s.index >= 0) {
            // The onset frame itself may still be rising into the note.
            if (now.sounding[i] < soundingThreshold && frame > s.start + 1) {
                end(n, frame);
            } else if (frame - s.start < attackFrames) {
                const auto held = static_cast<std::size_t>(s.index);
                notes_[held].peakLevel = std::max(notes_[held].peakLevel, amplitude[i]);
                starts_[held].octaveAtAttack = std::max(starts_[held].octaveAtAttack, octave);
            }
        }
    }
}

bool NoteDecoder::broadRestrike(std::int64_t frame, std::size_t note) const {
    const auto onset = [&](std::int64_t k) {
        return k >= 0 && k < given_ ? frames_[static_cast<std::size_t>(k % kept)].onset[note] : 0.0f;
    };
    return onset(frame) >= broadRestrikeThreshold &&
           onset(frame - 1) + onset(frame) + onset(frame + 1) >= broadRestrikeSum;
}

void NoteDecoder::end(int note, std::int64_t frame) {
    Sounding& s = sounding_[static_cast<std::size_t>(note)];
    if (s.index < 0) return;
    RefinedNote& n = notes_[static_cast<std::size_t>(s.index)];
    n.offset = std::max(spectrumFrameTime(frame), n.onset + 0.001);
    s.index = -1;
}

bool NoteDecoder::isEarlyRise(const RefinedNote& note, const Start& start, const Start& nextStart) const {
    if (note.offset - note.onset < spectrumFrameTime(shortestNoteFrames)) return true;
    return start.restarted && start.octaveAtStart < earlyOctaveShare * nextStart.octaveAtAttack;
}

std::vector<RefinedNote> NoteDecoder::notes() const {
    std::vector<std::size_t> order(notes_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const RefinedNote &x = notes_[a], &y = notes_[b];
        return x.onset != y.onset ? x.onset < y.onset : x.note < y.note;
    });
    // The first start of the same pitch after order[i], within earlyRiseSeconds.
    const auto restart = [&](std::size_t i) -> const std::size_t* {
        const RefinedNote& n = notes_[order[i]];
        for (std::size_t j = i + 1; j < order.size() && notes_[order[j]].onset - n.onset < earlyRiseSeconds; ++j)
            if (notes_[order[j]].note == n.note) return &order[j];
        return nullptr;
    };
    std::vector<RefinedNote> found;
    found.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::size_t* next = restart(i);
        if (!next || !isEarlyRise(notes_[order[i]], starts_[order[i]], starts_[*next]))
            found.push_back(notes_[order[i]]);
    }
    return found;
}

}  // namespace korvane::converter
