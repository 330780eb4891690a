// A note the converter found, before its velocity is chosen: the refined
// notes of the player's levels and the notes of the learned note model alike.
#pragma once

namespace korvane::converter {

struct RefinedNote {
    double onset = 0.0;   // seconds
    double offset = 0.0;  // seconds, after onset
    int note = 0;         // MIDI note number
    // How loud the note is at its peak, on the scale of its analysis; the
    // velocities compare it with the file's other notes.
    float peakLevel = 0;

    bool operator==(const RefinedNote&) const = default;
};

}  // namespace korvane::converter
