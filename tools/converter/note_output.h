// What korvane-tomidi writes: the notes as MIDI messages, as CSV rows, and
// rendered to sound by the built-in synthesizer.
#pragma once

#include <string>
#include <vector>

#include "tools/converter/midi_file.h"

namespace korvane::converter {

struct OutputNote {
    double onset = 0.0;   // seconds from the start of the track
    double offset = 0.0;  // after onset
    int note = 0;
    int velocity = 0;     // 1 .. 127
};

// The program change at 0, each note's note-on and note-off (a note-off
// before a note-on at the same time), then the all-notes-off and
// sustain-off controllers of the track's end.
std::vector<TimedMessage> messagesOfNotes(const std::vector<OutputNote>& notes, double end);
// The notes that note-on and note-off messages make; a note-on on a
// sounding note ends it, and what still sounds at the end ends with the last
// message.
std::vector<OutputNote> notesOfMessages(const std::vector<TimedMessage>& messages);

// "onset_s,offset_s,pitch,velocity" then one line per note, times in
// seconds with millisecond precision.
std::string notesCsv(const std::vector<OutputNote>& notes);

// The messages played on the built-in synthesizer (FluidSynth with the
// General MIDI sound font), as a 44100 Hz 16-bit stereo WAV file's bytes,
// `seconds` long plus a second of release. Empty with the reason in error
// when the synthesizer cannot be had, or when the file would pass the 4 GiB
// a WAV file can describe (about 6 h 45 min).
std::string renderedWav(const std::vector<TimedMessage>& messages, double seconds, std::string& error);

}  // namespace korvane::converter
