// The converter's own note decisions. The player decides each note within
// one 25 ms frame from the levels it has seen so far; offline the whole
// level history of a file is known, so the notes are found again from it:
//
// 1. Attacks. A row's level rises for one window length after a note starts
//    (its window fills with the note), so each row's rise over the next
//    window span is computed for every frame, and the frames where that rise
//    peaks, large enough in itself and against the level it starts from,
//    are the row's attack candidates.
// 2. Onsets. Candidates of all rows within two frames of each other are one
//    onset: the rows that rise together.
// 3. Pitches. At each onset the rise of every row is explained note by note:
//    the note whose harmonic rows (up to the 16th partial, with the stretch
//    of real strings) hold the most rise is taken, its rows and their
//    neighbours are removed, and the next one is sought, while the rise left
//    is large enough, in itself and as a share of the onset's whole rise (a
//    drum hit lifts every row a little and explains no note). A note needs
//    some rise on its own row too. This drops overtones of louder notes and
//    finds low notes whose fundamental is weak.
// 4. Times. Each note starts where the rise of its highest strongly rising
//    partial row peaks (a short window times an attack better than the long
//    window of a low note), between frames by a parabola through the three
//    rises around it. The same note found twice within 70 ms is one note.
// 5. Lengths. A note ends when its level falls below a fifth of its peak.
//    A new attack on a sounding note is a new note only when the level dipped
//    to half its peak first, or when the attack triples the level (a note
//    struck again while its first strike still rings); otherwise the note
//    goes on (a tremolo or a wavering held note is not struck again and
//    again).
// 6. Partials of held notes. An attack on the row of the 2nd, 3rd or 4th
//    partial of a note that still sounds from an earlier onset is that
//    partial wavering, unless the row climbs to half as much again as the
//    level it held meanwhile: vibrato moves a held note's partials through
//    their rows' narrow kernels, and each swing looks like an attack.
//
// Levels are those of the analysis at a known input gain: the thresholds
// assume a file whose loudest left + right sample is scaled to
// refinementPeak.
#pragma once

#include <array>
#include <vector>

#include "tools/converter/analysis/refined_note.h"

namespace korvane::converter {

constexpr int rowCount = 77;  // MIDI notes 36 .. 112
constexpr int lowestNote = 36;
// The loudest left + right sample of a file, after the analysis gain.
constexpr float refinementPeak = 20000.0f;

using RowLevels = std::array<float, rowCount>;

// The analysis of one file: the 77 levels of every frame, and the time of
// each frame (seconds of audio up to the newest sample the frame measured).
struct LevelHistory {
    std::vector<double> times;
    std::vector<RowLevels> levels;
};

// The notes' peakLevel: the row's highest level while the note sounds.

// windowLength: each row's analysis window in ring entries (44100 per
// second). The notes come back in onset order.
std::vector<RefinedNote> refineNotes(const LevelHistory& history,
                                     const std::array<int, rowCount>& windowLength);

}  // namespace korvane::converter
