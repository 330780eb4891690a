// plug-alsa.so: plays the engine's buffers through ALSA's "default" PCM.
//
// The device's ring holds `buffers` periods of `frames` frames. A writer
// thread of our own waits (at most 100 ms at a time, so a stop request is
// seen) until a whole period is free, calls the engine's fill function and
// writes the buffer. Every piece of state is in one handle whose members need
// no destructor, so the engine's exit clean-up may stop the output at any
// point of the program's end.
#include <alsa/asoundlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <type_traits>

#include "engine/plugout/plugout_record.h"
#include "engine/plugout/plugout_text.h"
#include "plugouts/plugout_output.h"

using korvane::engine::writeText;

namespace {

constexpr const char* kDeviceName = "default";
constexpr int kWaitMilliseconds = 100;

struct AlsaOutput : korvane::plugouts::PlugoutOutput {
    constexpr AlsaOutput() : PlugoutOutput("ALSA") {}

    snd_pcm_t* pcm = nullptr;
    // The writer thread's last failure to recover, an ALSA error code; the
    // error text is written on the main thread only, when it is asked for.
    std::atomic<int> playbackFailure{0};
};

static_assert(std::is_trivially_destructible_v<AlsaOutput>, "no destructor may run at the program's end");
AlsaOutput output;

void setError(const char* what, int code) {
    output.fail(what, snd_strerror(code));
}

// Brings the device back after an underrun or a suspend; a device that
// cannot recover is given a pause instead of a busy loop.
void recover(int code) {
    if (snd_pcm_recover(output.pcm, code, 1) < 0) {
        output.playbackFailure.store(code, std::memory_order_relaxed);
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMilliseconds));
    }
}

// Writes one whole buffer; false when the device failed meanwhile.
bool writeBuffer(const PlugoutRecord& record) {
    const uint8_t* data = output.buffer;
    snd_pcm_uframes_t left = static_cast<snd_pcm_uframes_t>(record.frames);
    while (left > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(output.pcm, data, left);
        if (written < 0) {
            recover(static_cast<int>(written));
            return false;
        }
        data += written * record.framesize;
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    return true;
}

// The writer thread: the plug-out's output thread.
void writeLoop() {
    const PlugoutRecord* record = output.record;
    while (output.keepRunning()) {
        const int ready = snd_pcm_wait(output.pcm, kWaitMilliseconds);
        if (ready < 0) {
            recover(ready);
            continue;
        }
        const snd_pcm_sframes_t room = snd_pcm_avail_update(output.pcm);
        if (room < 0) {
            recover(static_cast<int>(room));
            continue;
        }
        if (ready == 0 || room < record->frames) {
            continue;
        }
        output.fillBuffer();
        writeBuffer(*record);
    }
}

// Sets the format; the rate must be exactly the one asked for.
int configure(const PlugoutRecord& record) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(record.frames);
    snd_pcm_uframes_t ring = period * static_cast<snd_pcm_uframes_t>(record.buffers);
    int code = snd_pcm_hw_params_any(output.pcm, params);
    if (code >= 0) code = snd_pcm_hw_params_set_access(output.pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (code >= 0) code = snd_pcm_hw_params_set_format(output.pcm, params, SND_PCM_FORMAT_S16_LE);
    if (code >= 0) code = snd_pcm_hw_params_set_channels(output.pcm, params, static_cast<unsigned>(record.channels));
    if (code >= 0) code = snd_pcm_hw_params_set_rate(output.pcm, params, static_cast<unsigned>(record.rate), 0);
    if (code >= 0) code = snd_pcm_hw_params_set_period_size_near(output.pcm, params, &period, nullptr);
    if (code >= 0) code = snd_pcm_hw_params_set_buffer_size_near(output.pcm, params, &ring);
    if (code >= 0) code = snd_pcm_hw_params(output.pcm, params);
    return code;
}

// ALSA keeps the parsed configuration until told otherwise; the library may
// be unloaded with this plug-out, so the cache goes with the last device.
void releaseConfiguration() {
    snd_config_update_free_global();
}

void closeDevice() {
    if (output.pcm != nullptr) {
        snd_pcm_close(output.pcm);
        output.pcm = nullptr;
        releaseConfiguration();
    }
    output.releaseBuffer();
}

}  // namespace

extern "C" {

PLUG_EXPORT int PLUG_STOP(void);

// Usable when the default PCM opens for playback.
PLUG_EXPORT int PLUG_ISANY(PlugoutRecord* record) {
    snd_pcm_t* pcm = nullptr;
    const int code = snd_pcm_open(&pcm, kDeviceName, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (code < 0) {
        setError("cannot open the default device", code);
        releaseConfiguration();
        return 0;
    }
    snd_pcm_close(pcm);
    releaseConfiguration();
    writeText(record->name, "ALSA");
    return 1;
}

PLUG_EXPORT int PLUG_INIT(PlugoutRecord* record) {
    if (PLUG_STOP() != 1) {
        return 0;
    }
    closeDevice();
    int code = snd_pcm_open(&output.pcm, kDeviceName, SND_PCM_STREAM_PLAYBACK, 0);
    if (code < 0) {
        output.pcm = nullptr;
        setError("cannot open the default device", code);
        releaseConfiguration();
        return 0;
    }
    code = configure(*record);
    if (code < 0) {
        setError("does not take the format", code);
        closeDevice();
        return 0;
    }
    if (!output.allocateBuffer(*record)) {
        closeDevice();
        return 0;
    }
    const std::string device = std::string(kDeviceName) + " (" + snd_pcm_name(output.pcm) + ")";
    output.ready(*record, "ALSA", device);
    return 1;
}

PLUG_EXPORT int PLUG_START(void) {
    if (output.pcm == nullptr) {
        output.fail("the device is not open");
        return 0;
    }
    if (output.threadStarted()) {
        return 1;
    }
    const int code = snd_pcm_prepare(output.pcm);
    if (code < 0) {
        setError("cannot prepare the device", code);
        return 0;
    }
    return output.startThread(writeLoop) ? 1 : 0;
}

// Answers 1 once the writer has ended: no fill call can come after it. A
// writer stuck in the driver keeps the device until it has ended.
PLUG_EXPORT int PLUG_STOP(void) {
    if (!output.stopThread()) {
        return 0;
    }
    if (output.pcm != nullptr) {
        snd_pcm_drop(output.pcm);
    }
    return 1;
}

PLUG_EXPORT int PLUG_EXIT(void) {
    if (PLUG_STOP() != 1) {
        return 0;
    }
    closeDevice();
    return 1;
}

PLUG_EXPORT const char* PLUG_ERROR(void) {
    const int failure = output.playbackFailure.exchange(0, std::memory_order_relaxed);
    if (failure != 0) setError("playback", failure);
    return output.error;
}

}  // extern "C"
