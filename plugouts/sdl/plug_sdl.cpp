// plug-sdl.so: plays the engine's buffers through SDL2 audio (PipeWire,
// PulseAudio, ALSA, JACK, or SDL's disk driver when run without a desk).
//
// The device is opened with SDL's queue instead of a callback. A feeder
// thread of our own keeps `buffers` buffers of `frames` frames queued: it
// calls the engine's fill function for each buffer and queues the result.
// Every piece of state is in one handle whose members need no destructor,
// so the engine's exit clean-up may stop the output at any point of the
// program's end.
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <type_traits>

#include "engine/plugout/plugout_record.h"
#include "engine/plugout/plugout_text.h"
#include "plugouts/plugout_output.h"

using korvane::engine::writeText;

namespace {

struct SdlOutput : korvane::plugouts::PlugoutOutput {
    constexpr SdlOutput() : PlugoutOutput("SDL audio") {}

    bool audioOpen = false;           // holds a reference on SDL's audio subsystem
    SDL_AudioDeviceID device = 0;
    Uint32 queueTarget = 0;           // bytes kept queued: buffers x buffersize
    int pollMicroseconds = 1000;      // a quarter of a buffer's duration, at least 1 ms
};

static_assert(std::is_trivially_destructible_v<SdlOutput>, "no destructor may run at the program's end");
SdlOutput output;

void setError(const char* what) {
    output.fail(what, SDL_GetError());
}

// The feeder thread: the plug-out's output thread.
void feed() {
    SdlOutput& o = output;
    const PlugoutRecord* record = o.record;
    while (o.keepRunning()) {
        while (o.keepRunning() && SDL_GetQueuedAudioSize(o.device) < o.queueTarget) {
            o.fillBuffer();
            if (SDL_QueueAudio(o.device, o.buffer, static_cast<Uint32>(record->buffersize)) != 0) {
                // A lost device takes nothing: wait instead of filling in a loop.
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(o.pollMicroseconds));
    }
}

// When no part of SDL is in use, SDL's own state goes too: the library may
// be unloaded with this plug-out.
void quitSdlIfUnused() {
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) {
        SDL_Quit();
    }
}

// Gives back our reference on SDL's audio.
void releaseAudio() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    quitSdlIfUnused();
}

void closeAudio() {
    if (output.device != 0) {
        SDL_CloseAudioDevice(output.device);
        output.device = 0;
    }
    if (output.audioOpen) {
        releaseAudio();
        output.audioOpen = false;
    }
    output.releaseBuffer();
}

}  // namespace

extern "C" {

PLUG_EXPORT int PLUG_STOP(void);

// Usable when SDL finds an audio driver on this machine.
PLUG_EXPORT int PLUG_ISANY(PlugoutRecord* record) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        setError("cannot start");
        quitSdlIfUnused();
        return 0;
    }
    releaseAudio();
    writeText(record->name, "SDL2 audio");
    return 1;
}

PLUG_EXPORT int PLUG_INIT(PlugoutRecord* record) {
    if (PLUG_STOP() != 1) {
        return 0;
    }
    closeAudio();
    if (record->frames > 65535) {
        output.fail("more than 65535 frames per buffer");
        return 0;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        setError("cannot start");
        quitSdlIfUnused();
        return 0;
    }
    output.audioOpen = true;
    SDL_AudioSpec wanted{};
    wanted.freq = record->rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(record->channels);
    wanted.samples = static_cast<Uint16>(record->frames);
    wanted.callback = nullptr;
    SDL_AudioSpec obtained{};
    // No allowed changes: SDL converts to whatever the device plays.
    output.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output.device == 0) {
        setError("cannot open the default device");
        closeAudio();
        return 0;
    }
    if (!output.allocateBuffer(*record)) {
        closeAudio();
        return 0;
    }
    output.queueTarget = static_cast<Uint32>(record->buffers) * static_cast<Uint32>(record->buffersize);
    output.pollMicroseconds =
        std::max(1000, static_cast<int>(250000LL * record->frames / std::max(1, record->rate)));
    const std::string device = std::string(SDL_GetCurrentAudioDriver()) + " driver, default device";
    output.ready(*record, "SDL2 audio", device);
    return 1;
}

PLUG_EXPORT int PLUG_START(void) {
    if (output.device == 0) {
        output.fail("the device is not open");
        return 0;
    }
    if (output.threadStarted()) {
        return 1;
    }
    if (!output.startThread(feed)) {
        return 0;
    }
    SDL_PauseAudioDevice(output.device, 0);
    return 1;
}

// Answers 1 once the feeder has ended: no fill call can come after it. A
// feeder stuck inside SDL may hold the device's lock, so the device is left
// alone until it has ended.
PLUG_EXPORT int PLUG_STOP(void) {
    if (!output.stopThread()) {
        return 0;
    }
    if (output.device != 0) {
        SDL_PauseAudioDevice(output.device, 1);
        SDL_ClearQueuedAudio(output.device);
    }
    return 1;
}

PLUG_EXPORT int PLUG_EXIT(void) {
    if (PLUG_STOP() != 1) {
        return 0;
    }
    closeAudio();
    return 1;
}

PLUG_EXPORT const char* PLUG_ERROR(void) {
    return output.error;
}

}  // extern "C"
