// Wave entries: creating, loading WAV data, destroying, and the wave
// queries. Main thread only.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/plugout/engine_state.h"
#include "engine/sounds/file_bytes.h"
#include "engine/sounds/sounds.h"
#include "engine/sounds/wav_reader.h"

namespace korvane::engine {

int storeWave(uint8_t* samples, int64_t size) {
    std::vector<WaveEntry>& waves = sounds.waves;
    for (size_t i = 0; i < waves.size(); ++i) {
        if (waves[i].samples == nullptr) {
            waves[i] = WaveEntry{samples, size};
            return static_cast<int>(i);
        }
    }
    try {
        if (waves.size() >= static_cast<size_t>(INT_MAX)) {
            throw std::bad_alloc();
        }
        waves.push_back(WaveEntry{samples, size});
    } catch (...) {
        std::free(samples);
        return -1;
    }
    sounds.numofwaves.store(static_cast<int>(waves.size()), std::memory_order_release);
    return static_cast<int>(waves.size()) - 1;
}

}  // namespace korvane::engine

using korvane::engine::engineInitialised;
using korvane::engine::sounds;
using korvane::engine::waveHandleValid;

namespace {

// Writes the handle of a load or creation; 1 when it names a wave.
int handOut(int* wave, int handle) {
    *wave = handle;
    return handle >= 0 ? 1 : 0;
}

}  // namespace

extern "C" {

FBS_API int FBS_CREATE_WAVE(int frames, int* wave, void** samples) {
    using namespace korvane::engine;
    if (wave == nullptr) {
        return 0;
    }
    const int framesize = FBS_GET_PLUGFRAMESIZE();
    if (!engineInitialised() || framesize == 0 || frames <= 0) {
        return handOut(wave, -1);
    }
    const int64_t size = static_cast<int64_t>(frames) * framesize;
    auto* data = static_cast<uint8_t*>(allocateZeroed(static_cast<size_t>(size)));
    const int handle = data != nullptr ? storeWave(data, size) : -1;
    if (handle >= 0 && samples != nullptr) {
        *samples = data;
    }
    return handOut(wave, handle);
}

FBS_API int FBS_LOAD_WAVFILE(const char* name, int* wave) {
    using namespace korvane::engine;
    if (wave == nullptr) {
        return 0;
    }
    if (!engineInitialised()) {
        return handOut(wave, -1);
    }
    const FileBytes file = readFileBytes(name);
    return handOut(wave, file.size > 0 ? loadWav(file.begin(), file.end()) : -1);
}

FBS_API int FBS_LOAD_WAVFILE_SHORT(const void* image, int* wave) {
    using namespace korvane::engine;
    if (wave == nullptr) {
        return 0;
    }
    if (!engineInitialised() || image == nullptr) {
        return handOut(wave, -1);
    }
    // The image's own addresses may sit anywhere: read them byte-wise.
    FBS_WAVIMAGE head;
    std::memcpy(&head, image, sizeof head);
    const uint8_t* begin = static_cast<const uint8_t*>(image) + sizeof head;
    if (reinterpret_cast<uintptr_t>(head.endaddress) <= reinterpret_cast<uintptr_t>(begin)) {
        return handOut(wave, -1);
    }
    return handOut(wave, loadWav(begin, head.endaddress));
}

FBS_API int FBS_DESTROY_WAVE(int* wave) {
    using namespace korvane::engine;
    if (wave == nullptr || !waveHandleValid(*wave)) {
        return 0;
    }
    WaveEntry& entry = sounds.waves[static_cast<size_t>(*wave)];
    // Every slot on this wave, with or without its mixing buffer, so that no
    // slot keeps pointing into freed samples.
    SoundSlot* stopped[kSlotCapacity];
    int count = 0;
    const int slotCount = sounds.numofslots.load(std::memory_order_relaxed);
    for (int i = 0; i < slotCount; ++i) {
        SoundSlot& slot = sounds.slots[i];
        if (slot.wavestart.load(std::memory_order_relaxed) == entry.samples) {
            stopSlot(slot);
            stopped[count++] = &slot;
        }
    }
    // Waits for a fill call that may still be rendering one of them.
    releaseMixBuffers(stopped, count);
    std::free(entry.samples);
    entry = WaveEntry{};
    *wave = -1;
    return 1;
}

FBS_API int FBS_GET_WAVEPOINTERS(int wave, void** start, void** end, int* channels) {
    if (!waveHandleValid(wave)) {
        return 0;
    }
    const korvane::engine::WaveEntry& entry = sounds.waves[static_cast<size_t>(wave)];
    if (start != nullptr) {
        *start = entry.samples;
    }
    if (end != nullptr) {
        *end = entry.samples + entry.size;
    }
    if (channels != nullptr) {
        *channels = FBS_GET_PLUGCHANNELS();
    }
    return 1;
}

FBS_API int FBS_GET_WAVELENGTH(int wave, int64_t* milliseconds) {
    if (!waveHandleValid(wave) || milliseconds == nullptr) {
        return 0;
    }
    const int64_t frames = sounds.waves[static_cast<size_t>(wave)].size / FBS_GET_PLUGFRAMESIZE();
    *milliseconds = frames * 1000 / FBS_GET_PLUGRATE();
    return 1;
}

}  // extern "C"
