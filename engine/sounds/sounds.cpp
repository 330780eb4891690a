// Storage of waves and sound slots: which slot a sound takes, how it starts
// and stops, and what the engine's lifecycle does to them. Main thread only.
#include "engine/sounds/sounds.h"

#include <cstdlib>

#include "engine/mixer/source_gains.h"
#include "engine/plugout/engine_state.h"
#include "engine/plugout/written_memory.h"

namespace korvane::engine {

SoundStore sounds;

namespace {

// Frees the slot's own mixing buffer; a borrowed one is only forgotten.
void dropMixBuffer(SoundSlot& slot) {
    slot.mixbuffer.store(nullptr, std::memory_order_relaxed);
    std::free(slot.ownedbuffer);
    slot.ownedbuffer = nullptr;
}

void clearSlot(SoundSlot& slot) {
    stopSlot(slot);
    dropMixBuffer(slot);
    slot.callback.store(nullptr, std::memory_order_relaxed);
    slot.callbackenabled.store(0, std::memory_order_relaxed);
    slot.handleaddress = nullptr;
    slot.position.store(nullptr, std::memory_order_relaxed);
    slot.waveend = nullptr;
    slot.loopstart.store(nullptr, std::memory_order_relaxed);
    slot.loopend.store(nullptr, std::memory_order_relaxed);
    slot.speed.store(1.0f, std::memory_order_relaxed);
    slot.volume.store(1.0f, std::memory_order_relaxed);
    storePan(slot, 0.0f);
    slot.userowned.store(0, std::memory_order_relaxed);
    slot.muted.store(0, std::memory_order_relaxed);
    slot.paused.store(0, std::memory_order_relaxed);
}

// The first slot that is free, or the next one never used; -1 when all are
// taken.
int freeSlotIndex() {
    const int count = sounds.numofslots.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i) {
        // acquire: a slot the mixer freed is handed back whole.
        if (sounds.slots[i].wavestart.load(std::memory_order_acquire) == nullptr) {
            return i;
        }
    }
    return count < kSlotCapacity ? count : -1;
}

}  // namespace

ZeroedAllocator allocateZeroed = callocWritten;

bool soundHandleValid(int handle) {
    if (!engineInitialised() ||
        sounds.numofwaves.load(std::memory_order_relaxed) < 1 || handle < 0 ||
        handle >= sounds.numofslots.load(std::memory_order_relaxed)) {
        return false;
    }
    const SoundSlot& slot = sounds.slots[handle];
    return slot.wavestart.load(std::memory_order_relaxed) != nullptr &&
           slot.mixbuffer.load(std::memory_order_relaxed) != nullptr;
}

bool waveHandleValid(int handle) {
    return engineInitialised() && handle >= 0 &&
           handle < sounds.numofwaves.load(std::memory_order_relaxed) &&
           sounds.waves[static_cast<size_t>(handle)].samples != nullptr &&
           sounds.waves[static_cast<size_t>(handle)].size >= 1;
}

int startSlot(int wave, int loops, float speed, float volume, float pan, int* handleaddress) {
    const int index = freeSlotIndex();
    if (index < 0) {
        return -1;
    }
    SoundSlot& slot = sounds.slots[index];
    if (slot.mixbuffer.load(std::memory_order_relaxed) == nullptr) {
        slot.ownedbuffer = static_cast<uint8_t*>(
            allocateZeroed(static_cast<size_t>(sounds.mixbufferbytes) + kMixBufferSlack));
        if (slot.ownedbuffer == nullptr) {
            return -1;
        }
        slot.mixbuffer.store(slot.ownedbuffer, std::memory_order_relaxed);
    }
    const WaveEntry& entry = sounds.waves[static_cast<size_t>(wave)];
    uint8_t* const start = entry.samples;
    uint8_t* const end = entry.samples + entry.size;
    // While it is being set up the slot counts as owned, so that the mixer,
    // which frees finished fire-and-forget slots, cannot free it between its
    // wavestart and its loops. The mixer reads wavestart (acquire) before
    // userowned.
    slot.userowned.store(1, std::memory_order_relaxed);
    slot.callback.store(nullptr, std::memory_order_relaxed);
    slot.callbackenabled.store(0, std::memory_order_relaxed);
    slot.handleaddress = handleaddress;
    slot.position.store(start, std::memory_order_relaxed);
    slot.waveend = end;
    slot.loopstart.store(start, std::memory_order_relaxed);
    slot.loopend.store(end, std::memory_order_relaxed);
    slot.muted.store(0, std::memory_order_relaxed);
    slot.paused.store(0, std::memory_order_relaxed);
    slot.speed.store(speed, std::memory_order_relaxed);
    slot.volume.store(volume, std::memory_order_relaxed);
    storePan(slot, pan);
    slot.wavestart.store(start, std::memory_order_release);
    if (index == sounds.numofslots.load(std::memory_order_relaxed)) {
        sounds.numofslots.store(index + 1, std::memory_order_release);
    }
    slot.loops.store(loops, std::memory_order_seq_cst);
    // release: a mixer that reads the final 0 also sees loops.
    slot.userowned.store(handleaddress != nullptr ? 1 : 0, std::memory_order_release);
    if (handleaddress != nullptr) {
        *handleaddress = index;
    }
    return index;
}

void stopSlot(SoundSlot& slot) {
    if (slot.loops.load(std::memory_order_relaxed) > 0) {
        slot.paused.store(1, std::memory_order_relaxed);
    }
    slot.loops.store(0, std::memory_order_seq_cst);
    slot.wavestart.store(nullptr, std::memory_order_release);
}

void releaseMixBuffers(SoundSlot* const* slots, int count) {
    waitForFillCalls();
    for (int i = 0; i < count; ++i) {
        dropMixBuffer(*slots[i]);
    }
}

void resizeMixBuffers(int buffersize) {
    if (buffersize == sounds.mixbufferbytes) {
        return;
    }
    const int count = sounds.numofslots.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i) {
        SoundSlot& slot = sounds.slots[i];
        const bool hadBuffer = slot.mixbuffer.load(std::memory_order_relaxed) != nullptr;
        dropMixBuffer(slot);
        if (hadBuffer) {
            slot.ownedbuffer = static_cast<uint8_t*>(allocateZeroed(static_cast<size_t>(buffersize) + kMixBufferSlack));
            slot.mixbuffer.store(slot.ownedbuffer, std::memory_order_relaxed);
        }
    }
    sounds.mixbufferbytes = buffersize;
}

void clearSounds() {
    const int count = sounds.numofslots.load(std::memory_order_relaxed);
    for (int i = 0; i < count; ++i) {
        clearSlot(sounds.slots[i]);
    }
    sounds.numofslots.store(0, std::memory_order_relaxed);
    for (WaveEntry& wave : sounds.waves) {
        std::free(wave.samples);
    }
    sounds.waves.clear();
    sounds.numofwaves.store(0, std::memory_order_relaxed);
}

}  // namespace korvane::engine
