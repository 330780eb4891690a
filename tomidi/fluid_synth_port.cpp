#include "tomidi/fluid_synth_port.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace korvane {

namespace {

constexpr int chunkFrames = 4096;  // offline rendering steps

std::int16_t toSample(float value) {
    if (std::isnan(value)) return 0;
    return static_cast<std::int16_t>(std::lrintf(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

// The velocity the synthesizer is given for a note-on of `velocity`.
int voicedVelocity(VelocityLaw law, int velocity) {
    if (law == VelocityLaw::GeneralMidi || velocity <= 0) return velocity;
    return std::clamp(static_cast<int>(std::lround(127.0 * std::sqrt(velocity / 127.0))), 1, 127);
}

}  // namespace

// The sound font's samples are loaded per preset when a program is chosen
// (FluidSynth's dynamic sample loading), so opening costs about 30 ms
// instead of reading the whole 140 MB file.
std::unique_ptr<FluidSynthPort> FluidSynthPort::open(const char* soundFont, SynthVoicing voicing, bool audioOutput) {
    std::unique_ptr<FluidSynthPort> port(new FluidSynthPort(voicing));
    port->settings_ = new_fluid_settings();
    if (port->settings_ == nullptr) return nullptr;
    fluid_settings_setint(port->settings_, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(port->settings_, "synth.sample-rate", synthRate);
    fluid_settings_setnum(port->settings_, "synth.gain", voicing.gain);
    fluid_settings_setint(port->settings_, "synth.reverb.active", 0);
    fluid_settings_setint(port->settings_, "synth.chorus.active", 0);
    port->synth_ = new_fluid_synth(port->settings_);
    if (port->synth_ == nullptr) return nullptr;
    if (fluid_synth_sfload(port->synth_, soundFont, 1) == FLUID_FAILED) return nullptr;
    if (audioOutput) {
        if (!port->startAudio()) return nullptr;
    } else {
        port->offline_.resize(2 * chunkFrames);
    }
    return port;
}

FluidSynthPort::~FluidSynthPort() {
    // The output stops before what it renders from goes.
    if (driver_ != nullptr) delete_fluid_audio_driver(driver_);
    if (sdlDevice_ != 0) {
        SDL_CloseAudioDevice(sdlDevice_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (synth_ != nullptr) delete_fluid_synth(synth_);
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

void FluidSynthPort::send(std::uint32_t message) {
    const ShortMessage m(message);
    if (!m.valid()) return;
    const int channel = m.status & 0x0F;
    switch (m.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(synth_, channel, m.data1); break;
    case 0x90: fluid_synth_noteon(synth_, channel, m.data1, voicedVelocity(voicing_.law, m.data2)); break;
    case 0xB0: fluid_synth_cc(synth_, channel, m.data1, m.data2); break;
    case 0xC0: fluid_synth_program_change(synth_, channel, m.data1); break;
    default: break;  // the program sends nothing else
    }
}

void FluidSynthPort::renderLimited(float* left, float* right, std::ptrdiff_t step, int frames) {
    fluid_synth_write_float(synth_, frames, left, 0, static_cast<int>(step), right, 0, static_cast<int>(step));
    limiter_.process(left, right, step, frames);
}

void FluidSynthPort::render(std::int16_t* stereo, int frames) {
    if (offline_.empty()) {
        std::fill_n(stereo, 2 * std::max(0, frames), std::int16_t{0});
        return;
    }
    while (frames > 0) {
        const int step = std::min(frames, chunkFrames);
        renderLimited(offline_.data(), offline_.data() + 1, 2, step);
        for (int i = 0; i < 2 * step; ++i) stereo[i] = toSample(offline_[static_cast<std::size_t>(i)]);
        stereo += 2 * step;
        frames -= step;
    }
}

// FluidSynth's audio thread asks for each period here.
int FluidSynthPort::driverCallback(void* port, int frames, int fxCount, float* fx[], int outCount, float* out[]) {
    for (int i = 0; i < fxCount; ++i) std::fill_n(fx[i], frames, 0.0f);
    for (int i = 2; i < outCount; ++i) std::fill_n(out[i], frames, 0.0f);
    if (outCount < 2) return FLUID_FAILED;
    static_cast<FluidSynthPort*>(port)->renderLimited(out[0], out[1], 1, frames);
    return FLUID_OK;
}

// SDL's audio thread asks for each buffer here.
void FluidSynthPort::sdlCallback(void* port, std::uint8_t* stream, int bytes) {
    auto* samples = reinterpret_cast<float*>(stream);
    static_cast<FluidSynthPort*>(port)->renderLimited(samples, samples + 1, 2,
                                                      bytes / static_cast<int>(2 * sizeof(float)));
}

// The desktop's sound server first, then the bare device, through
// FluidSynth's own drivers; then SDL, which also reaches JACK and SDL's own
// drivers, such as its disk writer.
bool FluidSynthPort::startAudio() {
    // The failed attempts are expected on many machines: keep them off
    // the terminal.
    const fluid_log_function_t previous = fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
    for (const char* name : {"pulseaudio", "alsa"}) {
        fluid_settings_setstr(settings_, "audio.driver", name);
        driver_ = new_fluid_audio_driver2(settings_, driverCallback, this);
        if (driver_ != nullptr) break;
    }
    fluid_set_log_function(FLUID_ERR, previous, nullptr);
    return driver_ != nullptr || startSdlAudio();
}

bool FluidSynthPort::startSdlAudio() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec wanted{};
    wanted.freq = synthRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = 512;
    wanted.callback = sdlCallback;
    wanted.userdata = this;
    // No changes allowed: SDL converts whatever the device wants.
    sdlDevice_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (sdlDevice_ == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(sdlDevice_, 0);
    return true;
}

void renderTimedMessages(FluidSynthPort& synth, const std::vector<TimedMessage>& messages, std::int16_t* stereo,
                         std::int64_t frames) {
    constexpr int latency = PeakLimiter::latency;
    // The synthesizer runs `latency` frames ahead of what is kept: the
    // first frames it gives are the limiter's delay line.
    std::array<std::int16_t, 2 * latency> lead;
    std::int64_t done = 0;  // frames of the synthesizer's time rendered
    const auto renderTo = [&](std::int64_t frame) {
        frame = std::clamp<std::int64_t>(frame, done, frames + latency);
        while (done < frame) {
            if (done < latency) {
                const int step = static_cast<int>(std::min<std::int64_t>(frame, latency) - done);
                synth.render(lead.data() + 2 * done, step);
                done += step;
            } else {
                const int step = static_cast<int>(std::min<std::int64_t>(frame - done, chunkFrames));
                synth.render(stereo + 2 * (done - latency), step);
                done += step;
            }
        }
    };
    const double end = static_cast<double>(frames + latency) / synthRate;
    for (const TimedMessage& message : messages) {
        // A time before 0, or not a number, plays at 0.
        const double time = message.time > 0.0 ? std::min(message.time, end) : 0.0;
        renderTo(static_cast<std::int64_t>(time * synthRate));
        synth.send(message.packed);
    }
    renderTo(frames + latency);
}

}  // namespace korvane
