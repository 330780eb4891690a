// The exported sample primitives: each checks its arguments, converts its
// float gain or speed to 16.16 fixed point once, and calls the implementation
// chosen for this processor while the engine library loaded. A call whose
// arguments fail the check does nothing.
#include <cstdint>

#include "engine/primitives/primitive_table.h"
#include "engine/primitives/primitives.h"

namespace korvane::primitives {

namespace {

constexpr PrimitiveTable plainPrimitives{
    plain::zero,
    plain::zeroBuffer,
    plain::copy,
    plain::mix16,
    plain::scale16,
    plain::pan16,
    plain::copyRight16,
    plain::copyRight32,
    plain::moveRight16,
    plain::moveRight32,
    plain::copySliceRight16,
    plain::copySliceRight32,
    plain::copySliceLeft16,
    plain::copySliceLeft32,
    plain::moveSliceRight16,
    plain::moveSliceRight32,
    plain::moveSliceLeft16,
    plain::moveSliceLeft32,
    plain::copyMp3Frame,
    plain::copySliceMp3Frame16,
    plain::copySliceMp3Frame32,
    plain::scaleMp3Frame22,
    plain::scaleMp3Frame21,
    plain::scaleMp3Frame12,
    plain::scaleMp3Frame11,
};

// Plain until the initializer below has run, so a call made even earlier,
// from another static initializer, still gets correct results. Written once
// before main; only read afterwards, from any thread.
constinit PrimitiveTable active = plainPrimitives;

[[maybe_unused]] const bool chosen = (active = choosePrimitives(cpuFeatures()), true);

}  // namespace

PrimitiveTable choosePrimitives(const CpuFeatures& features) {
    PrimitiveTable table = plainPrimitives;
    if (features.avx2 != 0) {
        table.copy = avx2::copy;
        table.mix16 = avx2::mix16;
        table.scale16 = avx2::scale16;
    } else if (features.sse2 != 0) {
        table.copy = sse2::copy;
        table.mix16 = sse2::mix16;
        table.scale16 = sse2::scale16;
    }
    return table;
}

const PrimitiveTable& activePrimitives() {
    return active;
}

}  // namespace korvane::primitives

namespace {

using korvane::primitives::active;
using korvane::primitives::toFixed16;

std::size_t bytes(int size) {
    return static_cast<std::size_t>(size);
}

// A loop the walk can use: every address present and room for one frame.
bool usableLoop(const void* loopstart, void* const* pos, const void* loopend, const int* loops, int frameBytes) {
    return loopstart != nullptr && pos != nullptr && *pos != nullptr && loopend != nullptr && loops != nullptr &&
           reinterpret_cast<uintptr_t>(loopend) >= reinterpret_cast<uintptr_t>(loopstart) + bytes(frameBytes);
}

// A ring with room, and a position inside it.
bool usableRing(const void* ringstart, void* const* pos, const void* ringend) {
    if (ringstart == nullptr || pos == nullptr || *pos == nullptr || ringend == nullptr) {
        return false;
    }
    const auto start = reinterpret_cast<uintptr_t>(ringstart);
    const auto end = reinterpret_cast<uintptr_t>(ringend);
    const auto at = reinterpret_cast<uintptr_t>(*pos);
    return start < end && at >= start && at <= end;
}

bool evenSize(int size) {
    return size > 1 && size % 2 == 0;
}

bool wholeStereoSize(int size) {
    return size > 3 && size % 4 == 0;
}

}  // namespace

extern "C" {

FBS_API void ZERO(void* buf, int size) {
    if (buf != nullptr && size > 1) {
        active.zero(buf, bytes(size));
    }
}

FBS_API void ZEROBUFFER(void* ringstart, void** pos, void* ringend, int size) {
    if (size > 0 && usableRing(ringstart, pos, ringend)) {
        active.zeroBuffer(ringstart, pos, ringend, bytes(size));
    }
}

FBS_API void COPY(void* dst, const void* src, int size) {
    if (dst != nullptr && src != nullptr && size > 1) {
        active.copy(dst, src, bytes(size));
    }
}

FBS_API void MIX16(void* dst, const void* a, const void* b, int size) {
    if (dst != nullptr && a != nullptr && b != nullptr && evenSize(size)) {
        active.mix16(dst, a, b, bytes(size));
    }
}

FBS_API void SCALE16(void* dst, const void* src, float gain, int size) {
    if (dst != nullptr && src != nullptr && evenSize(size)) {
        active.scale16(dst, src, toFixed16(gain), bytes(size));
    }
}

// Only the attenuated side is scaled: one of the two gains must be 1.0.
FBS_API void PAN16(void* dst, const void* src, float leftgain, float rightgain, int size) {
    if (dst == nullptr || src == nullptr || size <= 0 || size % 2 != 0) {
        return;
    }
    if (leftgain == 1.0f) {
        active.pan16(dst, src, toFixed16(rightgain), 1, bytes(size));
    } else if (rightgain == 1.0f) {
        active.pan16(dst, src, toFixed16(leftgain), 0, bytes(size));
    }
}

FBS_API void COPYRIGHT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int size) {
    if (dst != nullptr && size > 0 && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.copyRight16(dst, loopstart, pos, loopend, loops, bytes(size));
    }
}

FBS_API void COPYRIGHT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int size) {
    if (dst != nullptr && size > 0 && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.copyRight32(dst, loopstart, pos, loopend, loops, bytes(size));
    }
}

FBS_API void MOVERIGHT16(void* loopstart, void** pos, void* loopend, int* loops, int size) {
    if (evenSize(size) && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.moveRight16(loopstart, pos, loopend, loops, bytes(size));
    }
}

FBS_API void MOVERIGHT32(void* loopstart, void** pos, void* loopend, int* loops, int size) {
    if (wholeStereoSize(size) && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.moveRight32(loopstart, pos, loopend, loops, bytes(size));
    }
}

FBS_API void COPYSLICERIGHT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed,
                              int size) {
    if (dst != nullptr && evenSize(size) && speed > 0.0f && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.copySliceRight16(dst, loopstart, pos, loopend, loops, toFixed16(speed), bytes(size));
    }
}

FBS_API void COPYSLICERIGHT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed,
                              int size) {
    if (dst != nullptr && wholeStereoSize(size) && speed > 0.0f && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.copySliceRight32(dst, loopstart, pos, loopend, loops, toFixed16(speed), bytes(size));
    }
}

FBS_API void COPYSLICELEFT16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed,
                             int size) {
    if (dst != nullptr && evenSize(size) && speed < 0.0f && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.copySliceLeft16(dst, loopstart, pos, loopend, loops, toFixed16(-speed), bytes(size));
    }
}

FBS_API void COPYSLICELEFT32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, float speed,
                             int size) {
    if (dst != nullptr && wholeStereoSize(size) && speed < 0.0f && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.copySliceLeft32(dst, loopstart, pos, loopend, loops, toFixed16(-speed), bytes(size));
    }
}

FBS_API void MOVESLICERIGHT16(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size) {
    if (evenSize(size) && speed > 0.0f && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.moveSliceRight16(loopstart, pos, loopend, loops, toFixed16(speed), bytes(size));
    }
}

FBS_API void MOVESLICERIGHT32(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size) {
    if (wholeStereoSize(size) && speed > 0.0f && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.moveSliceRight32(loopstart, pos, loopend, loops, toFixed16(speed), bytes(size));
    }
}

FBS_API void MOVESLICELEFT16(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size) {
    if (evenSize(size) && speed < 0.0f && usableLoop(loopstart, pos, loopend, loops, 2)) {
        active.moveSliceLeft16(loopstart, pos, loopend, loops, toFixed16(-speed), bytes(size));
    }
}

FBS_API void MOVESLICELEFT32(void* loopstart, void** pos, void* loopend, int* loops, float speed, int size) {
    if (wholeStereoSize(size) && speed < 0.0f && usableLoop(loopstart, pos, loopend, loops, 4)) {
        active.moveSliceLeft32(loopstart, pos, loopend, loops, toFixed16(-speed), bytes(size));
    }
}

FBS_API void COPYMP3FRAME(void* ringstart, void** pos, void* ringend, const void* src, int size) {
    if (src != nullptr && size > 0 && usableRing(ringstart, pos, ringend)) {
        active.copyMp3Frame(ringstart, pos, ringend, src, bytes(size));
    }
}

// A ratio that is not positive would index before the source: refused.
FBS_API void COPYSLICEMP3FRAME16(void* ringstart, void** pos, void* ringend, const void* src, float ratio, int size) {
    if (src != nullptr && size > 0 && ratio > 0.0f && usableRing(ringstart, pos, ringend)) {
        active.copySliceMp3Frame16(ringstart, pos, ringend, src, toFixed16(ratio), bytes(size));
    }
}

FBS_API void COPYSLICEMP3FRAME32(void* ringstart, void** pos, void* ringend, const void* src, float ratio, int size) {
    if (src != nullptr && size > 0 && ratio > 0.0f && usableRing(ringstart, pos, ringend)) {
        active.copySliceMp3Frame32(ringstart, pos, ringend, src, toFixed16(ratio), bytes(size));
    }
}

FBS_API void SCALEMP3FRAME_22_16(void* dst, const int32_t* left, const int32_t* right, int count) {
    if (dst != nullptr && left != nullptr && right != nullptr && count > 0) {
        active.scaleMp3Frame22(dst, left, right, bytes(count));
    }
}

FBS_API void SCALEMP3FRAME_21_16(void* dst, const int32_t* left, const int32_t* right, int count) {
    if (dst != nullptr && left != nullptr && right != nullptr && count > 0) {
        active.scaleMp3Frame21(dst, left, right, bytes(count));
    }
}

FBS_API void SCALEMP3FRAME_12_16(void* dst, const int32_t* mono, int count) {
    if (dst != nullptr && mono != nullptr && count > 0) {
        active.scaleMp3Frame12(dst, mono, bytes(count));
    }
}

FBS_API void SCALEMP3FRAME_11_16(void* dst, const int32_t* mono, int count) {
    if (dst != nullptr && mono != nullptr && count > 0) {
        active.scaleMp3Frame11(dst, mono, bytes(count));
    }
}

}  // extern "C"
