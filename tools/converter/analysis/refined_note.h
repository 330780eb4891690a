// A note the converter's learned analysis found, before its velocity is
// chosen: its time and pitch as the note decisions settled them.
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
