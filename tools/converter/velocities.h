// The velocities of the learned analysis's notes: each note's own peak level
// (its amplitude at its pitch as it attacks) against the file's loudest
// notes, on the curve by which General MIDI synthesizers play velocities
// (the amplitude grows with the square of the velocity), so that the notes
// played back keep the recording's balance:
//
//   velocity = 108 x sqrt(peak / loud) x vol / 0.2, rounded, within 1 .. 127
//
// where loud is the peak level that one note in ten reaches. A note as loud
// as those gets 108 (the loudest up to 127); one 6 dB quieter gets 76,
// 12 dB quieter 54, 24 dB quieter 27. vol is the toMidi velocity scale,
// whose default of 0.2 leaves the velocities as they are.
#pragma once

#include <vector>

namespace korvane::converter {

constexpr int loudVelocity = 108;
// The share of the notes whose peaks lie below the loud level.
constexpr double loudRank = 0.9;

// One velocity per peak level, in the same order.
std::vector<int> noteVelocities(const std::vector<float>& peaks, float vol);

}  // namespace korvane::converter
