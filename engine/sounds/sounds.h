// Waves (sample data in the output format) and sound slots (playing instances
// of a wave), the storage the mixer walks, and the slot rules the sound
// functions share.
//
// Slots live in a fixed array of kSlotCapacity entries, so the mixer never
// sees the storage move; numofslots counts the entries in use from index 0.
// The main thread starts a sound by writing every other field before loops
// (release); the mixer reads loops first. The mixer advances position and
// loops, and frees a fire-and-forget slot by clearing wavestart. Waves are
// main-thread only; the mixer reads just their count and the samples that
// slots point at.
//
// Every function here runs on the main thread (the caller of the FBS_
// functions), never inside a master or stream callback.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/fbs.h"
#include "engine/mixer/mixer.h"

namespace korvane::engine {

// One slot per source the mixer can take besides the stream.
inline constexpr int kSlotCapacity = 256;
inline constexpr int kEndlessLoops = 2147483647;

struct WaveEntry {
    uint8_t* samples = nullptr;  // zero-filled when made; null marks a free entry
    int64_t size = 0;            // bytes, a whole number of output frames
};

struct SoundSlot {
    std::atomic<FBS_CALLBACK> callback{nullptr};  // stored only; the mixer never calls it
    std::atomic<int> callbackenabled{0};
    int* handleaddress = nullptr;            // main thread: the caller's handle variable
    std::atomic<uint8_t*> wavestart{nullptr};  // null marks a free slot
    std::atomic<uint8_t*> position{nullptr};   // next byte to play, inside the loop range
    uint8_t* waveend = nullptr;                // main thread: wavestart + wave size
    std::atomic<uint8_t*> loopstart{nullptr};
    std::atomic<uint8_t*> loopend{nullptr};    // one past the loop's last byte
    uint8_t* ownedbuffer = nullptr;            // main thread: mixbuffer when this slot allocated it
    std::atomic<uint8_t*> mixbuffer{nullptr};  // output buffer size + kMixBufferSlack bytes
    std::atomic<int> loops{0};                 // passes left; 0 stopped, kEndlessLoops endless
    std::atomic<float> speed{1.0f};            // negative plays backward
    std::atomic<float> volume{1.0f};
    std::atomic<float> pan{0.0f};              // -1..1
    std::atomic<float> leftgain{1.0f};         // 1 - pan for pan > 0, else 1
    std::atomic<float> rightgain{1.0f};        // 1 + pan for pan < 0, else 1
    std::atomic<int> userowned{0};             // 0: the mixer frees the slot when its loops are done
    std::atomic<int> muted{0};                 // advances without being heard
    std::atomic<int> paused{0};                // neither sounds nor advances
};

struct SoundStore {
    SoundSlot slots[kSlotCapacity];
    std::atomic<int> numofslots{0};
    std::vector<WaveEntry> waves;
    std::atomic<int> numofwaves{0};
    int mixbufferbytes = 0;  // the output buffer size the owned mixing buffers were made for
};

extern SoundStore sounds;

// Every allocation of wave data, mixing buffers and memory images goes
// through this; tests replace it to make one fail. By default calloc with
// every page written, here on the main thread: the mixer reads wave data and
// writes mixing buffers on the output thread, where a first touch of a page
// would fault.
using ZeroedAllocator = void* (*)(size_t bytes);
extern ZeroedAllocator allocateZeroed;

// Output thread and main thread: the slot would be rendered by the next fill
// call. loops is read first, and sequentially consistent, so a slot being
// started is seen whole or not at all, and a slot being stopped is skipped by
// every fill call that begins after the stop (see waitForFillCalls).
inline bool slotPlaying(const SoundSlot& slot) {
    return slot.loops.load(std::memory_order_seq_cst) > 0 &&
           slot.wavestart.load(std::memory_order_relaxed) != nullptr &&
           slot.mixbuffer.load(std::memory_order_relaxed) != nullptr &&
           slot.paused.load(std::memory_order_relaxed) == 0;
}

// A handle naming a live sound: engine initialised, a wave exists, the slot
// is in use and has its wave and mixing buffer.
bool soundHandleValid(int handle);
// A handle naming a wave: engine initialised, the entry exists and holds
// samples.
bool waveHandleValid(int handle);

// Stores samples (size bytes, from allocateZeroed) in the first free wave
// entry or a new one and returns its handle; -1 (and the samples freed) when
// the list cannot grow.
int storeWave(uint8_t* samples, int64_t size);

// Takes the first free slot (or the next unused one) for the wave, with a
// mixing buffer, and starts it: every field written before loops. loops 0
// prepares the sound without playing it. A null handleaddress makes a
// fire-and-forget sound. Returns the slot index, -1 when every slot is taken
// or the mixing buffer cannot be allocated.
int startSlot(int wave, int loops, float speed, float volume, float pan, int* handleaddress);

// Stops the slot at once (paused if it still had passes, loops 0) and frees
// it: wavestart null. Its mixing buffer is freed later by
// releaseMixBuffers, after the fill calls that may still render it.
void stopSlot(SoundSlot& slot);
// Frees the mixing buffers of stopped, freed slots once no fill call that
// began before the stop can still write them.
void releaseMixBuffers(SoundSlot* const* slots, int count);

// Gives every owned mixing buffer the size for output buffers of
// buffersize bytes (zero-filled). Only while no fill call can run. A slot
// whose buffer cannot be allocated is left without one and is not played.
void resizeMixBuffers(int buffersize);

// Stops every sound, frees the owned mixing buffers and all wave data, and
// empties both arrays. Only while no fill call can run.
void clearSounds();

}  // namespace korvane::engine
