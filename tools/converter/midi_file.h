// Standard MIDI Files as korvane-tomidi writes them: format 0, one track,
// one tick per millisecond (500 ticks per quarter note at the default tempo
// of 500000 microseconds per quarter), no running status.
#pragma once

#include <string>
#include <vector>

#include "tomidi/midi_output.h"

namespace korvane::converter {

constexpr int ticksPerQuarter = 500;
constexpr int microsecondsPerQuarter = 500000;

// The file's bytes: the tempo, then the messages in the order given (their
// times rounded to whole ticks; a time before the previous one is written
// at the previous one's tick), then the end of the track.
std::string midiFileBytes(const std::vector<TimedMessage>& messages);

}  // namespace korvane::converter
