// The one MIDI output: which device it is, opening and reopening it, the
// short messages sent to it, and which notes are sounding. Main thread only.
//
// Messages are packed as status + data1 x 256 + data2 x 65536 (status in the
// lowest byte). Identifier -1 is the default synthesizer, the user's number 0;
// identifiers 0 .. outputCount() - 1 are the other outputs, the user's
// numbers 1 .. outputCount().
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace korvane {

// An open output; closed when destroyed.
class MidiPort {
public:
    virtual ~MidiPort() = default;
    // Never throws: a message the output cannot take (its port has gone) is
    // dropped.
    virtual void send(std::uint32_t message) = 0;
};

// Where outputs come from: the built-in synthesizer and the system's ports,
// or a recording stand-in in tests.
class MidiSystem {
public:
    virtual ~MidiSystem() = default;
    virtual int outputCount() = 0;
    // nullptr when the output cannot be opened.
    virtual std::unique_ptr<MidiPort> open(int identifier) = 0;
};

// The system in use: the one installed, else the built-in one (FluidSynth
// for -1, the ALSA sequencer's writable ports for 0 .. n - 1).
MidiSystem& midiSystem();
// nullptr goes back to the built-in system. Close the output first.
void installMidiSystem(MidiSystem* system);

constexpr int midiChannel = 0;
constexpr int midiProgram = 4;      // counted from 0
constexpr int noteFlagCount = 257;  // note numbers 0..256

extern int midiDevice;  // the user's number: 0 the default synthesizer, k output k - 1
extern std::array<std::uint8_t, noteFlagCount> noteSounding;

// The two values above as the program starts; an open output stays open.
void resetMidiOutput();

std::uint32_t packMidiMessage(int status, int data1, int data2);
// The program change an output gets as it opens, before any note.
std::uint32_t programChangeMessage();

// A packed short message taken apart.
struct ShortMessage {
    int status;
    int data1;
    int data2;
    explicit ShortMessage(std::uint32_t packed)
        : status(static_cast<int>(packed & 0xFF)),
          data1(static_cast<int>((packed >> 8) & 0xFF)),
          data2(static_cast<int>((packed >> 16) & 0xFF)) {}
    // Data bytes at or above 128 would be read as a status byte by the
    // receiver.
    bool valid() const { return status >= 0x80 && data1 < 0x80 && data2 < 0x80; }
    // Program change and channel pressure carry one data byte.
    int size() const {
        const int kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
};

// A packed short message at a time in seconds from the start of a track.
struct TimedMessage {
    double time = 0.0;
    std::uint32_t packed = 0;
};

// Opens midiDevice; when that fails, a notice and the default synthesizer
// (midiDevice becomes 0 if it opens). Then the program change.
void openMidiDevice();
// Closes the output; later messages are dropped until it is opened again.
void closeMidiDevice();
bool midiDeviceOpen();
// The O prompt: a typed number 0..outputCount() chooses and reopens the
// output, after all notes off on the old one (queued events stay queued for
// the new one); an empty line changes nothing. The caller redraws its panel.
void chooseMidiDevice();

// A note already sounding gets its note-off first. Notes outside 0..256
// are not sent.
void sendNoteOn(int note, int velocity);
// Sent even when the note was not sounding.
void sendNoteOff(int note);
// The all-notes-off and sustain-off controllers; every note flag cleared
// and every queued note event dropped.
void allNotesOff();

}  // namespace korvane
