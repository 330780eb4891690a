// A MIDI system for tests: a chosen number of outputs, any of which (the
// default synthesizer included) can be made to fail or to go away while
// open, and a record of every message sent with the platform clock's time.
// Main thread only.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "tomidi/midi_output.h"

namespace korvane {

class RecordingMidi : public MidiSystem {
public:
    struct Message {
        double time;     // platform clock, seconds
        int identifier;  // the output it went to
        std::uint32_t packed;
    };

    int outputs = 0;
    std::set<int> failing;            // identifiers whose opening fails
    std::set<int> gone;               // identifiers unplugged: their open ports take nothing
    int lost = 0;                     // messages sent to a port that had gone
    std::vector<int> opened;          // identifiers, in order of opening
    std::vector<int> closed;
    std::vector<Message> messages;

    int outputCount() override { return outputs; }
    std::unique_ptr<MidiPort> open(int identifier) override;
};

}  // namespace korvane
