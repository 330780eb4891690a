// The built-in synthesizer: FluidSynth with the General MIDI sound font,
// dry (no reverb, no chorus, so that every note is heard as sent), at a
// fixed gain, behind a peak limiter. With an audio output it plays on its
// own; without one it renders when asked, into buffers its owner supplies.
//
// send() and the destructor belong to the main thread; with an audio output
// the rendering and the limiter run on that output's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <fluidsynth.h>

#include "tomidi/midi_output.h"
#include "tomidi/peak_limiter.h"

namespace korvane {

constexpr const char* generalMidiSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr int synthRate = 44100;

// How a note-on's velocity becomes loudness.
enum class VelocityLaw {
    // As General MIDI synthesizers play it: the amplitude grows with the
    // square of the velocity (-6 dB at 90, -12 dB at 64).
    GeneralMidi,
    // The player's velocities (level x vol + 1) grow with the music's
    // amplitude, so each is played at the amplitude in proportion to it:
    // sent on as the General MIDI velocity 127 x sqrt(v / 127) (1 becomes
    // 11, 32 becomes 64). Quiet music then plays quietly, and the output
    // level and the panel's vol scale the synthesizer as they scale the
    // music.
    Player,
};

struct SynthVoicing {
    VelocityLaw law;
    float gain;  // FluidSynth's master gain, 0 .. 10
};

// The player's output 0. At this gain toMidi plays at the loudness of the
// music it replaces: the notes the player decides at its default settings
// render within 1 dB of the chain's output on the demo track and in the
// median of the evaluation corpus (pop, whose drums make no notes, up to
// 9 dB under). The limiter holds the loudest pieces under full scale.
constexpr SynthVoicing playerVoicing{VelocityLaw::Player, 4.0f};

class FluidSynthPort : public MidiPort {
public:
    // nullptr when the synthesizer, the sound font or the audio output
    // cannot be had.
    static std::unique_ptr<FluidSynthPort> open(const char* soundFont, SynthVoicing voicing, bool audioOutput);
    ~FluidSynthPort() override;
    void send(std::uint32_t message) override;
    // Without an audio output: the next frames, interleaved 16-bit stereo at
    // synthRate. They trail the messages by the limiter's latency. With an
    // audio output, which renders on its own, silence.
    void render(std::int16_t* stereo, int frames);

private:
    explicit FluidSynthPort(SynthVoicing voicing) : voicing_(voicing) {}
    bool startAudio();
    bool startSdlAudio();
    // The synthesizer's next frames through the limiter, in place.
    void renderLimited(float* left, float* right, std::ptrdiff_t step, int frames);
    static int driverCallback(void* port, int frames, int fxCount, float* fx[], int outCount, float* out[]);
    static void sdlCallback(void* port, std::uint8_t* stream, int bytes);

    SynthVoicing voicing_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_audio_driver_t* driver_ = nullptr;
    std::uint32_t sdlDevice_ = 0;  // 0 when SDL does not play it
    PeakLimiter limiter_{synthRate};
    std::vector<float> offline_;  // render's float frames
};

// The messages played at their times: `frames` frames of interleaved 16-bit
// stereo at synthRate from time 0, the limiter's latency taken out, so that
// a note sounds from its note-on's time.
void renderTimedMessages(FluidSynthPort& synth, const std::vector<TimedMessage>& messages, std::int16_t* stereo,
                         std::int64_t frames);

}  // namespace korvane
