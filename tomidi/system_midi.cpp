#include "tomidi/system_midi.h"

#include <SDL.h>
#include <fluidsynth.h>
#include <rtmidi/RtMidi.h>

#include <array>
#include <exception>
#include <string>

namespace korvane {

namespace {

constexpr const char* clientName = "korvane";

// Data bytes of a packed short message; anything at or above 128 would be
// read as a status byte by the receiver.
struct ShortMessage {
    int status;
    int data1;
    int data2;
    explicit ShortMessage(std::uint32_t packed)
        : status(static_cast<int>(packed & 0xFF)),
          data1(static_cast<int>((packed >> 8) & 0xFF)),
          data2(static_cast<int>((packed >> 16) & 0xFF)) {}
    bool valid() const { return status >= 0x80 && data1 < 0x80 && data2 < 0x80; }
    // Program change and channel pressure carry one data byte.
    int size() const {
        const int kind = status & 0xF0;
        return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    }
};

}  // namespace

// The sound font's samples are loaded per preset when a program is chosen
// (FluidSynth's dynamic sample loading), so opening costs about 30 ms
// instead of reading the whole 140 MB file.
std::unique_ptr<FluidSynthPort> FluidSynthPort::open(const char* soundFont, bool audioOutput) {
    std::unique_ptr<FluidSynthPort> port(new FluidSynthPort);
    port->settings_ = new_fluid_settings();
    if (port->settings_ == nullptr) return nullptr;
    fluid_settings_setint(port->settings_, "synth.dynamic-sample-loading", 1);
    port->synth_ = new_fluid_synth(port->settings_);
    if (port->synth_ == nullptr) return nullptr;
    if (fluid_synth_sfload(port->synth_, soundFont, 1) == FLUID_FAILED) return nullptr;
    if (audioOutput && !port->startAudio()) return nullptr;
    return port;
}

FluidSynthPort::~FluidSynthPort() {
    if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
    if (sdlAudio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void FluidSynthPort::send(std::uint32_t message) {
    const ShortMessage m(message);
    if (!m.valid()) return;
    const int channel = m.status & 0x0F;
    switch (m.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, m.data1); break;
    case 0x90: fluid_synth_noteon(synth_, channel, m.data1, m.data2); break;
    case 0xB0: fluid_synth_cc(synth_, channel, m.data1, m.data2); break;
    case 0xC0: fluid_synth_program_change(synth_, channel, m.data1); break;
    default: break;  // the program sends nothing else
    }
}

void FluidSynthPort::render(std::int16_t* stereo, int frames) {
    fluid_synth_write_s16(synth_, frames, stereo, 0, 2, stereo, 1, 2);
}

// The desktop's sound server first, then the bare device, then SDL
// (which also reaches SDL's own drivers, such as its disk writer).
bool FluidSynthPort::startAudio() {
    // The failed attempts are expected on many machines: keep them off
    // the terminal.
    const fluid_log_function_t previous = fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
    for (const char* name : {"pulseaudio", "alsa", "sdl2"}) {
        if (std::string(name) == "sdl2") {
            // FluidSynth leaves SDL's initialisation to its host.
            sdlAudio_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
            if (!sdlAudio_) break;
        }
        fluid_settings_setstr(settings_, "audio.driver", name);
        driver_ = new_fluid_audio_driver(settings_, synth_);
        if (driver_ != nullptr) break;
    }
    fluid_set_log_function(FLUID_ERR, previous, nullptr);
    return driver_ != nullptr;
}

namespace {

class SequencerPort : public MidiPort {
public:
    bool open(int port) {
        try {
            output_ = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName);
            if (port >= static_cast<int>(output_->getPortCount())) return false;
            output_->openPort(static_cast<unsigned>(port), clientName);
            // From here on a failed send (the port has gone, its receiver
            // is full) would print a warning for every message; like any
            // short message whose result is not examined, it is dropped.
            output_->setErrorCallback([](RtMidiError::Type, const std::string&, void*) {});
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    void send(std::uint32_t message) override {
        const ShortMessage m(message);
        if (!m.valid()) return;
        const std::array<unsigned char, 3> bytes{static_cast<unsigned char>(m.status),
                                                 static_cast<unsigned char>(m.data1),
                                                 static_cast<unsigned char>(m.data2)};
        try {
            output_->sendMessage(bytes.data(), static_cast<std::size_t>(m.size()));
        } catch (const std::exception&) {
            // Like any short message whose result is not examined.
        }
    }

private:
    std::unique_ptr<RtMidiOut> output_;
};

}  // namespace

int SystemMidi::outputCount() {
    try {
        RtMidiOut probe(RtMidi::LINUX_ALSA, clientName);
        return static_cast<int>(probe.getPortCount());
    } catch (const std::exception&) {
        return 0;
    }
}

std::unique_ptr<MidiPort> SystemMidi::open(int identifier) {
    if (identifier == -1) return FluidSynthPort::open(generalMidiSoundFont, true);
    if (identifier < 0) return nullptr;
    auto port = std::make_unique<SequencerPort>();
    if (port->open(identifier)) return port;
    return nullptr;
}

}  // namespace korvane
