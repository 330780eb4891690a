// The built-in MIDI outputs: identifier -1 is a FluidSynth synthesizer with
// the General MIDI sound font on its own audio output; identifiers 0 .. n-1
// are the ALSA sequencer's writable ports in RtMidi's order. Main thread only.
#pragma once

#include "tomidi/midi_output.h"

namespace korvane {

class SystemMidi : public MidiSystem {
public:
    // Zero when there is no sequencer.
    int outputCount() override;
    std::unique_ptr<MidiPort> open(int identifier) override;
};

}  // namespace korvane
