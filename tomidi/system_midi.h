// The built-in MIDI outputs: identifier -1 is a FluidSynth synthesizer with
// the General MIDI sound font on its own audio output; identifiers 0 .. n-1
// are the ALSA sequencer's writable ports in RtMidi's order. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include <fluidsynth.h>

#include "tomidi/midi_output.h"

namespace korvane {

constexpr const char* generalMidiSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// The built-in synthesizer. With an audio output it plays on its own
// (identifier -1); without one it only renders when asked, into buffers
// its owner supplies.
class FluidSynthPort : public MidiPort {
public:
    // nullptr when the synthesizer, the sound font or the audio output
    // cannot be had.
    static std::unique_ptr<FluidSynthPort> open(const char* soundFont, bool audioOutput);
    ~FluidSynthPort() override;
    void send(std::uint32_t message) override;
    // frames of interleaved 16-bit stereo at the synthesizer's rate, 44100 Hz.
    void render(std::int16_t* stereo, int frames);

private:
    FluidSynthPort() = default;
    bool startAudio();

    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    bool sdlAudio_ = false;
};

class SystemMidi : public MidiSystem {
public:
    // Zero when there is no sequencer.
    int outputCount() override;
    std::unique_ptr<MidiPort> open(int identifier) override;
};

}  // namespace korvane
