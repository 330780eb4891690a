// plug-sdl.so: plays the engine's buffers through SDL2 audio (PipeWire,
// PulseAudio, ALSA, JACK, or SDL's disk driver when run without a desk).
//
// SDL's audio thread pulls the buffers: the device is opened with a callback
// that calls the engine's fill function for each buffer of `frames` frames,
// so the fill runs on SDL's thread. That thread is SDL's to create and end;
// it names itself korvane-out on its first buffer, as an output thread of
// our own would be named. SDL holds the device's lock around each callback;
// the main thread takes it only to pause or resume the device, once no fill
// is under way. The device holds one buffer and the sound server about one
// more, so the engine's `buffers` is not used: a thread of our own keeping
// that many buffers in SDL's queue cost more processor time and played them
// later. Every piece of state is in one handle whose members need no
// destructor, so the engine's exit clean-up may stop the output at any point
// of the program's end.
#include <SDL2/SDL.h>
#include <pthread.h>

#include <atomic>
#include <cstring>
#include <string>
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
    bool playing = false;             // the device is not paused; main thread
    // SDL's thread for the open device has named itself; each device gets a
    // new thread.
    std::atomic<bool> threadNamed{false};
};

static_assert(std::is_trivially_destructible_v<SdlOutput>, "no destructor may run at the program's end");
SdlOutput output;

void setError(const char* what) {
    output.fail(what, SDL_GetError());
}

// SDL's audio thread, for each buffer of the open device, holding the
// device's lock. length is the buffer's size: SDL was allowed no changes.
// Naming itself is one system call, no allocation and no wait.
void SDLCALL play(void*, Uint8* stream, int length) {
    SdlOutput& o = output;
    if (!o.beginCallback()) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    if (!o.threadNamed.load(std::memory_order_relaxed)) {
        pthread_setname_np(pthread_self(), korvane::plugouts::outputThreadName);
        o.threadNamed.store(true, std::memory_order_relaxed);
    }
    o.fillBuffer();
    std::memcpy(stream, o.buffer, static_cast<size_t>(length));
    o.endCallback();
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
    wanted.callback = play;
    SDL_AudioSpec obtained{};
    output.threadNamed.store(false, std::memory_order_relaxed);
    // No allowed changes: SDL converts to whatever the device plays, and
    // asks for buffers of exactly the record's size.
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
    const std::string device = std::string(SDL_GetCurrentAudioDriver()) + " driver, default device";
    output.ready(*record, "SDL2 audio", device);
    return 1;
}

PLUG_EXPORT int PLUG_START(void) {
    if (output.device == 0) {
        output.fail("the device is not open");
        return 0;
    }
    output.running.store(true, std::memory_order_seq_cst);
    // After a stop that found a fill stuck the device still plays: its
    // callback fills again once the stuck fill has ended.
    if (!output.playing) {
        SDL_PauseAudioDevice(output.device, 0);
        output.playing = true;
    }
    return 1;
}

// Answers 1 once no fill is under way and the device is paused: no fill call
// can come after it. A fill stuck on SDL's thread holds the device's lock, so
// the device is left alone until it has ended.
PLUG_EXPORT int PLUG_STOP(void) {
    if (!output.stopFills()) {
        return 0;
    }
    if (output.playing) {
        SDL_PauseAudioDevice(output.device, 1);
        output.playing = false;
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
