// The built-in MIDI outputs: identifier -1 is the built-in synthesizer
// (fluid_synth_port.h) on its own audio output, voiced for the player's
// velocities; identifiers 0 .. n-1 are the ALSA sequencer's writable ports in
// RtMidi's order, which get the messages as sent. Main thread only.
#pragma once

#include <memory>

#include "tomidi/midi_output.h"

namespace korvane {

class SystemMidi : public MidiSystem {
public:
    // Zero when there is no sequencer.
    int outputCount() override;
    std::unique_ptr<MidiPort> open(int identifier) override;
};

}  // namespace korvane
