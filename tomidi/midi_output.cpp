#include "tomidi/midi_output.h"

#include <algorithm>
#include <climits>
#include <string>

#include "app/input/dialogs.h"
#include "app/text/number_text.h"
#include "app/text/start_values.h"
#include "app/window/screen.h"
#include "tomidi/note_tracking.h"
#include "tomidi/system_midi.h"

namespace korvane {

int midiDevice = 0;
std::array<std::uint8_t, noteFlagCount> noteSounding{};

namespace {

const StartValues initial(midiDevice, noteSounding);

MidiSystem* installedSystem = nullptr;
std::unique_ptr<MidiPort> midiOutHandle;

void send(int status, int data1, int data2) {
    if (midiOutHandle) midiOutHandle->send(packMidiMessage(status, data1, data2));
}

bool isNoteNumber(int note) { return note >= 0 && note < noteFlagCount; }

// The identifier for the user's number; every negative number maps to an
// identifier that no output has.
int identifierOf(int device) { return device >= 0 ? device - 1 : INT_MIN; }

// All notes and the sustain pedal off on the output in use; every note flag
// cleared.
void releaseSoundingNotes() {
    send(0xB0 + midiChannel, 123, 0);
    send(0xB0 + midiChannel, 64, 0);
    noteSounding.fill(0);
}

}  // namespace

MidiSystem& midiSystem() {
    if (installedSystem != nullptr) return *installedSystem;
    static SystemMidi builtIn;
    return builtIn;
}

void installMidiSystem(MidiSystem* system) { installedSystem = system; }

void resetMidiOutput() { initial.restore(); }

std::uint32_t packMidiMessage(int status, int data1, int data2) {
    return static_cast<std::uint32_t>(status & 0xFF) |
           (static_cast<std::uint32_t>(data1 & 0xFF) << 8) |
           (static_cast<std::uint32_t>(data2 & 0xFF) << 16);
}

std::uint32_t programChangeMessage() { return packMidiMessage(0xC0 + midiChannel, midiProgram, 0); }

void openMidiDevice() {
    midiOutHandle = midiSystem().open(identifierOf(midiDevice));
    if (!midiOutHandle) {
        showNotice("warning error open midiout(" + std::to_string(midiDevice) + ")", "notice");
        midiOutHandle = midiSystem().open(-1);
        if (midiOutHandle) midiDevice = 0;
    }
    if (midiOutHandle) midiOutHandle->send(programChangeMessage());
}

void closeMidiDevice() { midiOutHandle.reset(); }

bool midiDeviceOpen() { return midiOutHandle != nullptr; }

void chooseMidiDevice() {
    const int count = midiSystem().outputCount();
    screen::clear();
    screen::printLineAt(2, 1, "midiout : enter a value (0.." + std::to_string(count) + ")");
    screen::printLine("        initial=0  last=" + std::to_string(midiDevice));
    const std::string line = screen::readLine();
    if (line.empty()) return;
    midiDevice = std::max(0, std::min(count, roundToInt(parseNumber(line))));
    // An external synthesizer keeps sounding what it was never told to end.
    releaseSoundingNotes();
    closeMidiDevice();
    openMidiDevice();
}

void sendNoteOn(int note, int velocity) {
    if (!isNoteNumber(note)) return;
    if (noteSounding[note]) send(0x80 + midiChannel, note, 0);
    noteSounding[note] = 1;
    send(0x90 + midiChannel, note, velocity);
}

void sendNoteOff(int note) {
    if (!isNoteNumber(note)) return;
    noteSounding[note] = 0;
    send(0x80 + midiChannel, note, 0);
}

void allNotesOff() {
    releaseSoundingNotes();
    clearNoteEventQueues();
}

}  // namespace korvane
