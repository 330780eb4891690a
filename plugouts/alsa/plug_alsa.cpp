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
#include <cstdlib>
#include <string>
#include <thread>
#include <type_traits>

#include "engine/plugout/plugout_record.h"
#include "engine/plugout/plugout_text.h"

using korvane::engine::writeText;

namespace {

constexpr const char* kDeviceName = "default";
constexpr int kWaitMilliseconds = 100;

struct AlsaOutput {
    PlugoutRecord* record = nullptr;  // from PLUG_INIT until PLUG_EXIT
    snd_pcm_t* pcm = nullptr;
    uint8_t* buffer = nullptr;        // the buffer handed to the fill function
    std::thread* writer = nullptr;
    std::atomic<bool> running{false};
    char error[256] = "";
};

static_assert(std::is_trivially_destructible_v<AlsaOutput>, "no destructor may run at the program's end");
AlsaOutput output;

void setError(const char* what, int code) {
    const std::string text = std::string("ALSA ") + what + ": " + snd_strerror(code);
    writeText(output.error, text.c_str());
}

// Brings the device back after an underrun or a suspend; a device that
// cannot recover is given a pause instead of a busy loop.
void recover(int code) {
    if (snd_pcm_recover(output.pcm, code, 1) < 0) {
        setError("playback", code);
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
    PlugoutRecord* record = output.record;
    while (output.running.load(std::memory_order_acquire)) {
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
        record->buffer = output.buffer;
        record->fillbuffer(record);
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
    std::free(output.buffer);
    output.buffer = nullptr;
    output.record = nullptr;
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
    PLUG_STOP();
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
    record->framesize = 2 * record->channels;
    record->buffersize = record->frames * record->framesize;
    record->issigned = 1;
    output.buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(record->buffersize)));
    if (output.buffer == nullptr) {
        writeText(output.error, "ALSA: no memory for the output buffer");
        closeDevice();
        return 0;
    }
    const std::string device = std::string(kDeviceName) + " (" + snd_pcm_name(output.pcm) + ")";
    writeText(record->name, "ALSA");
    writeText(record->device, device.c_str());
    record->buffer = output.buffer;
    output.record = record;
    writeText(output.error, "");
    return 1;
}

PLUG_EXPORT int PLUG_START(void) {
    if (output.pcm == nullptr) {
        writeText(output.error, "ALSA: the device is not open");
        return 0;
    }
    if (output.writer != nullptr) {
        return 1;
    }
    const int code = snd_pcm_prepare(output.pcm);
    if (code < 0) {
        setError("cannot prepare the device", code);
        return 0;
    }
    output.running.store(true, std::memory_order_release);
    try {
        output.writer = new std::thread(writeLoop);
    } catch (...) {
        output.running.store(false, std::memory_order_release);
        writeText(output.error, "ALSA: cannot start the output thread");
        return 0;
    }
    return 1;
}

// Returns once the writer has ended: no fill call can come after it.
PLUG_EXPORT int PLUG_STOP(void) {
    if (output.writer != nullptr) {
        output.running.store(false, std::memory_order_release);
        output.writer->join();
        delete output.writer;
        output.writer = nullptr;
    }
    if (output.pcm != nullptr) {
        snd_pcm_drop(output.pcm);
    }
    return 1;
}

PLUG_EXPORT int PLUG_EXIT(void) {
    PLUG_STOP();
    closeDevice();
    return 1;
}

PLUG_EXPORT const char* PLUG_ERROR(void) {
    return output.error;
}

}  // extern "C"
