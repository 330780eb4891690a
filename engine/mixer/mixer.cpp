// The fill function. Output thread only: everything here works in place in
// preallocated buffers, with no allocation, no lock and no system call.
#include "engine/mixer/mixer.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>

#include "engine/plugout/engine_state.h"
#include "engine/sounds/sounds.h"
#include "engine/stream/stream.h"

namespace korvane::engine {

namespace {

// Odd while a fill call runs; each call adds 1 on entry and 1 on return.
std::atomic<uint64_t> fillCalls{0};

// Pan below this magnitude counts as centred and costs nothing.
constexpr float kPanThreshold = 0.0001f;

struct Sources {
    const void* list[kMaxSources];
    int count = 0;
};

// Takes the stream's next buffer when a whole one is ready; returns the
// stream count of this call (1 while anything waits in the ring or the
// stream is held).
int takeStreamBuffer(const PlugoutRecord& record, int buffersize, Sources& sources) {
    StreamState& s = stream;
    if (s.active.load(std::memory_order_seq_cst) == 0) {
        return 0;
    }
    // A held stream is still playing: it is neither taken nor ended.
    if (s.held.load(std::memory_order_acquire) != 0) {
        return 1;
    }
    const int avail = s.avail.load(std::memory_order_acquire);
    const int count = avail > 0 ? 1 : 0;
    uint8_t* readpos = s.readpos.load(std::memory_order_relaxed);
    if (avail >= buffersize && readpos + buffersize <= s.ringend) {
        const float volume = s.volume.load(std::memory_order_relaxed);
        if (volume == 0.0f) {
            ZERO(s.outbuffer, buffersize);
        } else {
            if (volume != 1.0f) {
                SCALE16(readpos, readpos, volume, buffersize);
            }
            if (engine.mix.pan != nullptr && std::fabs(s.pan.load(std::memory_order_relaxed)) > kPanThreshold) {
                engine.mix.pan(s.outbuffer, readpos, s.leftgain.load(std::memory_order_relaxed),
                               s.rightgain.load(std::memory_order_relaxed), buffersize);
            } else {
                COPY(s.outbuffer, readpos, buffersize);
            }
        }
        // acq_rel: the decoder may overwrite these bytes once it sees them gone.
        s.avail.fetch_sub(buffersize, std::memory_order_acq_rel);
        sources.list[sources.count++] = s.outbuffer;
        const FBS_CALLBACK callback = s.streamcallback.load(std::memory_order_relaxed);
        if (callback != nullptr && s.streamcallbackenabled.load(std::memory_order_relaxed) == 1) {
            callback(s.outbuffer, record.channels, buffersize >> record.channels);
        }
        readpos += buffersize;
        s.readpos.store(readpos >= s.ringend ? s.ringstart : readpos, std::memory_order_relaxed);
    }
    // Drained: a decoder that has stopped has published all of its bytes, so
    // decoding is read before avail. Checked after the take, so that the
    // call taking the last buffer ends the stream.
    if (s.started.load(std::memory_order_acquire) != 0 && s.decoding.load(std::memory_order_acquire) == 0 &&
        s.avail.load(std::memory_order_acquire) == 0) {
        s.active.store(0, std::memory_order_release);
    }
    return count;
}

int countPlayingSounds() {
    if (sounds.numofwaves.load(std::memory_order_relaxed) < 1) {
        return 0;
    }
    const int slotCount = sounds.numofslots.load(std::memory_order_acquire);
    int playing = 0;
    for (int i = 0; i < slotCount; ++i) {
        playing += slotPlaying(sounds.slots[i]) ? 1 : 0;
    }
    return playing;
}

// Renders (or, when muted, only advances) one playing slot. A stop or a new
// position written by the main thread during the call wins over the mixer's.
void renderSlot(SoundSlot& slot, int buffersize, Sources& sources) {
    const MixPrimitives& mix = engine.mix;
    uint8_t* const positionBefore = slot.position.load(std::memory_order_relaxed);
    const int loopsBefore = slot.loops.load(std::memory_order_relaxed);
    void* position = positionBefore;
    int loops = loopsBefore;
    void* const loopstart = slot.loopstart.load(std::memory_order_relaxed);
    void* const loopend = slot.loopend.load(std::memory_order_relaxed);
    const float speed = slot.speed.load(std::memory_order_relaxed);

    if (slot.muted.load(std::memory_order_relaxed) == 0) {
        uint8_t* const out = slot.mixbuffer.load(std::memory_order_relaxed);
        sources.list[sources.count++] = out;
        if (speed == 1.0f) {
            mix.copyRight(out, loopstart, &position, loopend, &loops, buffersize);
        } else if (speed > 0.0f) {
            mix.copySliceRight(out, loopstart, &position, loopend, &loops, speed, buffersize);
        } else {
            mix.copySliceLeft(out, loopstart, &position, loopend, &loops, speed, buffersize);
        }
        const float volume = slot.volume.load(std::memory_order_relaxed);
        if (volume != 1.0f) {
            SCALE16(out, out, volume, buffersize);
        }
        if (mix.pan != nullptr && std::fabs(slot.pan.load(std::memory_order_relaxed)) > kPanThreshold) {
            mix.pan(out, out, slot.leftgain.load(std::memory_order_relaxed),
                    slot.rightgain.load(std::memory_order_relaxed), buffersize);
        }
    } else if (speed == 1.0f) {
        mix.moveRight(loopstart, &position, loopend, &loops, buffersize);
    } else if (speed > 0.0f) {
        mix.moveSliceRight(loopstart, &position, loopend, &loops, speed, buffersize);
    } else {
        mix.moveSliceLeft(loopstart, &position, loopend, &loops, speed, buffersize);
    }

    uint8_t* expectedPosition = positionBefore;
    slot.position.compare_exchange_strong(expectedPosition, static_cast<uint8_t*>(position),
                                          std::memory_order_relaxed);
    int expectedLoops = loopsBefore;
    slot.loops.compare_exchange_strong(expectedLoops, loops, std::memory_order_relaxed);
}

// Walks the slots from index 0 until the sources reach maxchannels; slots
// beyond that neither sound nor advance in this call.
void renderSounds(int buffersize, Sources& sources) {
    const int maxchannels = engine.maxchannels.load(std::memory_order_relaxed);
    const int slotCount = sounds.numofslots.load(std::memory_order_acquire);
    for (int i = 0; i < slotCount; ++i) {
        SoundSlot& slot = sounds.slots[i];
        if (slotPlaying(slot)) {
            renderSlot(slot, buffersize, sources);
        }
        // A fire-and-forget slot whose passes are done becomes free. wavestart
        // is read first: a slot being started counts as owned from before its
        // wavestart is set until after its loops are (see startSlot).
        uint8_t* wavestart = slot.wavestart.load(std::memory_order_acquire);
        if (wavestart != nullptr && slot.userowned.load(std::memory_order_acquire) == 0 &&
            slot.loops.load(std::memory_order_relaxed) < 1) {
            slot.wavestart.compare_exchange_strong(wavestart, nullptr, std::memory_order_release);
        }
        if (sources.count >= maxchannels) {
            break;
        }
    }
}

// Clipping happens at each step: stream first, then sounds by slot index.
void mixSources(void* out, const Sources& sources, int buffersize) {
    if (sources.count == 0) {
        ZERO(out, buffersize);
        return;
    }
    if (sources.count == 1) {
        COPY(out, sources.list[0], buffersize);
        return;
    }
    MIX16(out, sources.list[0], sources.list[1], buffersize);
    for (int i = 2; i < sources.count; ++i) {
        MIX16(out, out, sources.list[i], buffersize);
    }
}

}  // namespace

void fillBuffer(PlugoutRecord* record) {
    if (record == nullptr || record->buffer == nullptr || record->buffersize < 4) {
        return;
    }
    fillCalls.fetch_add(1, std::memory_order_seq_cst);
    const int buffersize = record->buffersize;
    engine.playedbytes.fetch_add(buffersize, std::memory_order_relaxed);

    Sources sources;
    const int streams = takeStreamBuffer(*record, buffersize, sources);
    const int playing = countPlayingSounds();
    engine.playingsounds.store(playing, std::memory_order_relaxed);
    engine.playingstreams.store(streams, std::memory_order_relaxed);
    if (playing > 0) {
        renderSounds(buffersize, sources);
    }

    mixSources(record->buffer, sources, buffersize);
    const float mastervolume = engine.mastervolume.load(std::memory_order_relaxed);
    if (mastervolume != 1.0f) {
        SCALE16(record->buffer, record->buffer, mastervolume, buffersize);
    }
    const FBS_CALLBACK callback = engine.mastercallback.load(std::memory_order_relaxed);
    if (callback != nullptr && engine.mastercallbackenabled.load(std::memory_order_relaxed) == 1) {
        callback(record->buffer, record->channels, buffersize >> record->channels);
    }
    fillCalls.fetch_add(1, std::memory_order_release);
}

void waitForFillCalls() {
    const uint64_t calls = fillCalls.load(std::memory_order_seq_cst);
    if (calls % 2 == 0) {
        return;
    }
    while (fillCalls.load(std::memory_order_acquire) == calls) {
        std::this_thread::yield();
    }
}

}  // namespace korvane::engine
