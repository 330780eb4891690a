// What korvane-tomidi writes: the notes as MIDI messages, as CSV rows, and
// rendered to sound by the built-in synthesizer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tomidi/fluid_synth_port.h"
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

// How the converter's own notes are rendered: their velocities follow the
// General MIDI curve, and at this gain, fixed for every file, a fair
// transcription plays at the loudness of its MP3 (on the evaluation corpus
// the median within 1 dB). A file where few notes were found plays quieter.
constexpr SynthVoicing fileVoicing{VelocityLaw::GeneralMidi, 1.0f};

// The messages played on the built-in synthesizer, as a 44100 Hz 16-bit
// stereo WAV file's bytes, `seconds` long plus a second of release. Empty
// with the reason in error when the synthesizer cannot be had, or when the
// file would pass the 4 GiB a WAV file can describe (about 6 h 45 min).
std::string renderedWav(const std::vector<TimedMessage>& messages, double seconds, SynthVoicing voicing,
                        std::string& error);

// A stereo WAV file for judging a transcription by ear: the decoded input
// (interleaved stereo at 44100 Hz) folded to mono on the left, and a
// rendering that renderedWav made folded to mono on the right, both from
// time 0, as long as the longer of the two. Empty with the reason in error
// when it would be too long for a WAV file.
std::string mixedWav(const std::vector<std::int16_t>& decoded, const std::string& rendered, std::string& error);

}  // namespace korvane::converter
