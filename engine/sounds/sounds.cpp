// Storage of waves and sound slots, and what the engine's lifecycle does to
// them. Main thread only.
#include "engine/sounds/sounds.h"

#include <cstdlib>

#include "engine/plugout/engine_state.h"

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
    // A slot that still had passes to play is paused before anything else
    // changes, so a reader never renders a half-cleared slot.
    if (slot.loops.load(std::memory_order_relaxed) > 0) {
        slot.paused.store(1, std::memory_order_relaxed);
    }
    slot.loops.store(0, std::memory_order_release);
    dropMixBuffer(slot);
    slot.callback.store(nullptr, std::memory_order_relaxed);
    slot.callbackenabled.store(0, std::memory_order_relaxed);
    slot.handleaddress = nullptr;
    slot.wavestart.store(nullptr, std::memory_order_relaxed);
    slot.position.store(nullptr, std::memory_order_relaxed);
    slot.waveend = nullptr;
    slot.loopstart.store(nullptr, std::memory_order_relaxed);
    slot.loopend.store(nullptr, std::memory_order_relaxed);
    slot.speed.store(1.0f, std::memory_order_relaxed);
    slot.volume.store(1.0f, std::memory_order_relaxed);
    slot.pan.store(0.0f, std::memory_order_relaxed);
    slot.leftgain.store(1.0f, std::memory_order_relaxed);
    slot.rightgain.store(1.0f, std::memory_order_relaxed);
    slot.userowned.store(0, std::memory_order_relaxed);
    slot.muted.store(0, std::memory_order_relaxed);
    slot.paused.store(0, std::memory_order_relaxed);
}

}  // namespace

bool soundHandleValid(int handle) {
    if (engine.initialised.load(std::memory_order_relaxed) == 0 ||
        sounds.numofwaves.load(std::memory_order_relaxed) < 1 || handle < 0 ||
        handle >= sounds.numofslots.load(std::memory_order_relaxed)) {
        return false;
    }
    const SoundSlot& slot = sounds.slots[handle];
    return slot.wavestart.load(std::memory_order_relaxed) != nullptr &&
           slot.mixbuffer.load(std::memory_order_relaxed) != nullptr;
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
            slot.ownedbuffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(buffersize) + kMixBufferSlack));
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
