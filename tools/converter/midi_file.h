// Standard MIDI Files as korvane-tomidi writes them: format 0, one track,
// one tick per millisecond (500 ticks per quarter note at the default tempo
// of 500000 microseconds per quarter), no running status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tomidi/midi_output.h"

namespace korvane::converter {

constexpr int ticksPerQuarter = 500;
constexpr int microsecondsPerQuarter = 500000;

// The file's bytes: the tempo, the text `note` when not empty (a text event
// at tick 0), then the messages in the order given (their times rounded to
// whole ticks; a time before the previous one is written at the previous
// one's tick), then the end of the track.
std::string midiFileBytes(const std::vector<TimedMessage>& messages, std::string_view note = {});

// The first text event at tick 0 of a file as midiFileBytes writes it, or ""
// when there is none or the bytes are not such a file.
std::string midiFileNote(std::string_view bytes);

}  // namespace korvane::converter
