// Sounds: playing waves in slots, and each sound's controls (passes, speed,
// volume, pan, mute, pause, loop range and position, length). Main thread
// only; the mixer picks every change up at its next fill call.
#include <cmath>
#include <cstdint>

#include "engine/mixer/source_gains.h"
#include "engine/plugout/engine_state.h"
#include "engine/sounds/sounds.h"

using korvane::engine::clampPan;
using korvane::engine::clampVolume;
using korvane::engine::kEndlessLoops;
using korvane::engine::SoundSlot;
using korvane::engine::sounds;
using korvane::engine::soundHandleValid;

namespace {

// The slowest speed the 16.16 step can express: one 65536th of a frame per
// output frame.
constexpr float kSlowestSpeed = 1.5258e-06f;
constexpr float kFastestSpeed = 16383.0f;

// A speed nearer 0 than the slowest one changes sign and takes its size (a
// speed of 0 plays at 1); NaN plays at 1 too.
float clampSpeed(float speed) {
    if (std::isnan(speed) || speed == 0.0f) {
        return 1.0f;
    }
    if (speed > 0.0f && speed < kSlowestSpeed) {
        speed = -kSlowestSpeed;
    } else if (speed < 0.0f && speed > -kSlowestSpeed) {
        speed = kSlowestSpeed;
    }
    return speed < -kFastestSpeed ? -kFastestSpeed : (speed > kFastestSpeed ? kFastestSpeed : speed);
}

SoundSlot& slotOf(int sound) {
    return sounds.slots[sound];
}

// A getter's common part: 0 unless the handle is valid and out is not null.
template <typename Value, typename Read>
int getValue(int sound, Value* out, Read read) {
    if (!soundHandleValid(sound) || out == nullptr) {
        return 0;
    }
    *out = read(slotOf(sound));
    return 1;
}

uintptr_t address(const void* pointer) {
    return reinterpret_cast<uintptr_t>(pointer);
}

// Where a given pointer falls in the wave, as a byte offset on a frame
// boundary (rounded down); the offset may lie outside the wave.
int64_t frameOffset(const void* pointer, const uint8_t* wavestart, int framesize) {
    const auto offset = static_cast<int64_t>(address(pointer) - address(wavestart));
    const int64_t rest = offset % framesize;
    return offset - (rest < 0 ? rest + framesize : rest);
}

}  // namespace

extern "C" {

FBS_API int FBS_PLAY_WAVE(int wave, int loops, float speed, float volume, float pan, int* sound) {
    using namespace korvane::engine;
    if (sound != nullptr) {
        *sound = -1;
    }
    if (!waveHandleValid(wave)) {
        return 0;
    }
    // Volume is taken as it is; only the setter limits it.
    return startSlot(wave, loops < 1 ? kEndlessLoops : loops, clampSpeed(speed), volume, clampPan(pan), sound) >= 0
               ? 1
               : 0;
}

FBS_API int FBS_CREATE_SOUND(int wave, int* sound) {
    using namespace korvane::engine;
    if (sound == nullptr) {
        return 0;
    }
    *sound = -1;
    if (!waveHandleValid(wave)) {
        return 0;
    }
    return startSlot(wave, 0, 1.0f, 1.0f, 0.0f, sound) >= 0 ? 1 : 0;
}

FBS_API int FBS_PLAY_SOUND(int sound, int loops) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    SoundSlot& slot = slotOf(sound);
    slot.position.store(slot.wavestart.load(std::memory_order_relaxed), std::memory_order_relaxed);
    slot.loops.store(loops < 1 ? kEndlessLoops : loops, std::memory_order_seq_cst);
    return 1;
}

FBS_API int FBS_DESTROY_SOUND(int* sound) {
    using namespace korvane::engine;
    if (sound == nullptr || !soundHandleValid(*sound)) {
        return 0;
    }
    SoundSlot* slot = &slotOf(*sound);
    stopSlot(*slot);
    releaseMixBuffers(&slot, 1);
    *sound = -1;
    return 1;
}

FBS_API int FBS_SET_SOUNDSPEED(int sound, float speed) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    slotOf(sound).speed.store(clampSpeed(speed), std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_SOUNDSPEED(int sound, float* speed) {
    return getValue(sound, speed, [](const SoundSlot& slot) { return slot.speed.load(std::memory_order_relaxed); });
}

FBS_API int FBS_SET_SOUNDVOLUME(int sound, float volume) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    slotOf(sound).volume.store(clampVolume(volume), std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_SOUNDVOLUME(int sound, float* volume) {
    return getValue(sound, volume, [](const SoundSlot& slot) { return slot.volume.load(std::memory_order_relaxed); });
}

FBS_API int FBS_SET_SOUNDPAN(int sound, float pan) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    korvane::engine::storePan(slotOf(sound), clampPan(pan));
    return 1;
}

FBS_API int FBS_GET_SOUNDPAN(int sound, float* pan) {
    return getValue(sound, pan, [](const SoundSlot& slot) { return slot.pan.load(std::memory_order_relaxed); });
}

FBS_API int FBS_SET_SOUNDLOOPS(int sound, int loops) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    slotOf(sound).loops.store(loops < 0 ? kEndlessLoops : loops, std::memory_order_seq_cst);
    return 1;
}

FBS_API int FBS_GET_SOUNDLOOPS(int sound, int* loops) {
    return getValue(sound, loops, [](const SoundSlot& slot) { return slot.loops.load(std::memory_order_relaxed); });
}

FBS_API int FBS_SET_SOUNDMUTED(int sound, int muted) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    slotOf(sound).muted.store(muted, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_SOUNDMUTED(int sound, int* muted) {
    return getValue(sound, muted, [](const SoundSlot& slot) { return slot.muted.load(std::memory_order_relaxed); });
}

FBS_API int FBS_SET_SOUNDPAUSED(int sound, int paused) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    slotOf(sound).paused.store(paused, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_SOUNDPAUSED(int sound, int* paused) {
    return getValue(sound, paused, [](const SoundSlot& slot) { return slot.paused.load(std::memory_order_relaxed); });
}

FBS_API int FBS_GET_SOUNDPOINTERS(int sound, void** loopstart, void** position, void** loopend) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    const SoundSlot& slot = slotOf(sound);
    if (loopstart != nullptr) {
        *loopstart = slot.loopstart.load(std::memory_order_relaxed);
    }
    if (position != nullptr) {
        *position = slot.position.load(std::memory_order_relaxed);
    }
    if (loopend != nullptr) {
        *loopend = slot.loopend.load(std::memory_order_relaxed);
    }
    return 1;
}

FBS_API int FBS_SET_SOUNDPOINTERS(int sound, void* loopstart, void* position, void* loopend) {
    if (!soundHandleValid(sound)) {
        return 0;
    }
    SoundSlot& slot = slotOf(sound);
    const int framesize = FBS_GET_PLUGFRAMESIZE();
    uint8_t* const wavestart = slot.wavestart.load(std::memory_order_relaxed);
    const auto wavebytes = static_cast<int64_t>(address(slot.waveend) - address(wavestart));
    uint8_t* const oldStart = slot.loopstart.load(std::memory_order_relaxed);
    uint8_t* const oldEnd = slot.loopend.load(std::memory_order_relaxed);

    // Offsets from wavestart, each on a frame boundary inside the wave.
    int64_t start = frameOffset(oldStart, wavestart, framesize);
    if (loopstart != nullptr) {
        start = frameOffset(loopstart, wavestart, framesize);
        start = start < 0 ? 0 : (start >= wavebytes ? wavebytes - framesize : start);
    }
    int64_t end = frameOffset(oldEnd, wavestart, framesize);
    if (loopend != nullptr) {
        end = frameOffset(loopend, wavestart, framesize);
        end = end <= 0 ? framesize : (end > wavebytes ? wavebytes : end);
    }
    if (end < start) {
        const int64_t swapped = start;
        start = end;
        end = swapped;
    }
    // At least one frame; start lies a frame or more before the wave's end.
    if (end == start) {
        end += framesize;
    }
    uint8_t* const newStart = wavestart + start;
    uint8_t* const newEnd = wavestart + end;
    // Written in the order that keeps the range the mixer may read between
    // the two stores a valid loop: grow the end first, or move the start
    // first.
    if (address(newEnd) > address(oldEnd)) {
        slot.loopend.store(newEnd, std::memory_order_relaxed);
        slot.loopstart.store(newStart, std::memory_order_relaxed);
    } else {
        slot.loopstart.store(newStart, std::memory_order_relaxed);
        slot.loopend.store(newEnd, std::memory_order_relaxed);
    }

    if (position != nullptr) {
        int64_t at = frameOffset(position, wavestart, framesize);
        at = at <= start ? start : (at > end ? end : at);
        slot.position.store(wavestart + at, std::memory_order_relaxed);
    } else if (address(slot.position.load(std::memory_order_relaxed)) >= address(newEnd)) {
        slot.position.store(newStart, std::memory_order_relaxed);
    }
    return 1;
}

FBS_API int FBS_GET_SOUNDLENGTH(int sound, int64_t* milliseconds) {
    if (!soundHandleValid(sound) || milliseconds == nullptr) {
        return 0;
    }
    const SoundSlot& slot = slotOf(sound);
    const int framesize = FBS_GET_PLUGFRAMESIZE();
    const auto frames = static_cast<int64_t>(address(slot.loopend.load(std::memory_order_relaxed)) -
                                             address(slot.loopstart.load(std::memory_order_relaxed))) /
                        framesize;
    // Frames played per second, whichever way; below one the sound hardly
    // moves and its length counts as 0.
    const double perSecond =
        std::floor(std::fabs(static_cast<double>(slot.speed.load(std::memory_order_relaxed))) * FBS_GET_PLUGRATE());
    if (perSecond < 1.0) {
        *milliseconds = 0;
        return 1;
    }
    int64_t length = frames * 1000 / static_cast<int64_t>(perSecond);
    const int loops = slot.loops.load(std::memory_order_relaxed);
    if (loops > 1 && __builtin_mul_overflow(length, int64_t{loops}, &length)) {
        length = INT64_MAX;
    }
    *milliseconds = length;
    return 1;
}

}  // extern "C"
