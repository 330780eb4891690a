// The note decisions of the converter's analysis: from the note model's
// probabilities, frame by frame, to notes with a start, an end and a level.
//
// A note starts where its onset probability peaks (the highest within two
// frames either side) above onsetThreshold, timed between frames by a
// parabola through the peak and its neighbours; onsets of every note are
// found this way, whether its level rose or only its pitch changed. Of two
// neighbouring semitones peaking in one frame (a detuned note between them)
// only the likelier starts; only a note whose sounding probability reaches
// soundingStart within soundingWithin frames starts (an attack lights the
// onsets of many pitches, and a soft or bowed note takes a while to be heard
// as sounding); a note still sounding starts again only above
// restrikeThreshold (vibrato and tremolo waver a held note), or above
// broadRestrikeThreshold when the three frames around the peak sum to
// broadRestrikeSum: a bow change or a slurred re-attack rises slowly, and
// its onset stays likely over several frames where a waver flickers. It
// ends at the first frame where its sounding probability falls below
// soundingThreshold, or where the same note starts again. Its level is the
// largest spectrum amplitude at its pitch within attackFrames of its start.
//
// The spectrum's long windows show a low or middle note's energy up to half
// a window (0.19 s at the bottom) before the note begins. The model may
// start the note on that early rise and start it again at the attack, when
// the note's upper partials, in the sharper windows above, arrive. A note
// that starts again within earlyRiseSeconds is that early rise, and is left
// out, when it sounded for fewer than shortestNoteFrames, or when its
// octave was silent as it started (under earlyOctaveShare of the octave's
// level at the second start's attack) and it still sounded at the second
// start: a struck or bowed note that is really played twice shows its
// partials from the first start on.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "tools/converter/analysis/note_model.h"
#include "tools/converter/analysis/refined_note.h"

namespace korvane::converter {

// The notes' peakLevel: the largest amplitude at the note's pitch while it
// attacks, a share of the file's peak.

// Amplitudes at each note's own pitch in one frame.
using NoteAmplitudes = std::array<float, modelNotes>;

class NoteDecoder {
public:
    static constexpr float onsetThreshold = 0.7f;
    static constexpr float restrikeThreshold = 0.9f;
    static constexpr float broadRestrikeThreshold = 0.8f;
    static constexpr float broadRestrikeSum = 2.4f;
    static constexpr float soundingStart = 0.6f;
    static constexpr int soundingWithin = 20;
    static constexpr float soundingThreshold = 0.3f;
    static constexpr int attackFrames = 8;
    static constexpr int shortestNoteFrames = 3;
    static constexpr double earlyRiseSeconds = 0.2;
    static constexpr float earlyOctaveShare = 0.1f;

    // Frame k's probabilities and amplitudes, k = 0, 1, 2 ...
    void push(const NoteFrame& frame, const NoteAmplitudes& amplitudes);
    // The frames have ended: notes still sounding end with the last frame.
    void finish();

    // The notes found, in order of onset (of note number for equal onsets).
    std::vector<RefinedNote> notes() const;

private:
    struct Sounding {
        int index = -1;          // into notes_, -1 when silent
        std::int64_t start = 0;  // its onset frame
    };
    // What the early-rise test reads of a note beside the note itself.
    struct Start {
        float octaveAtStart = 0.0f;   // amplitude an octave up in its onset frame
        float octaveAtAttack = 0.0f;  // the largest there within attackFrames
        bool restarted = false;       // ended by its own pitch starting again
    };
    void decide(std::int64_t frame);  // the onsets and ends of a frame whose neighbours are in
    void end(int note, std::int64_t frame);
    // Whether a sounding note's onset at `frame` is a slow re-attack.
    bool broadRestrike(std::int64_t frame, std::size_t note) const;
    // Whether `note` is the early rise of the same pitch's next start.
    bool isEarlyRise(const RefinedNote& note, const Start& start, const Start& nextStart) const;

    static constexpr int reach = 2;  // frames either side an onset peak is the highest of
    static constexpr int ahead = std::max(reach, soundingWithin);  // frames a decision waits for
    static constexpr int kept = reach + ahead + 1;
    std::array<NoteFrame, kept> frames_{};  // the last `kept` frames, a ring
    std::array<NoteAmplitudes, kept> amplitudes_{};
    std::int64_t given_ = 0;
    std::int64_t decided_ = 0;
    std::array<Sounding, modelNotes> sounding_{};
    std::vector<RefinedNote> notes_;
    std::vector<Start> starts_;  // beside notes_
};

}  // namespace korvane::converter
