// Rendering a looping wave forward or backward at any speed, and advancing a
// muted one exactly as rendering would.
//
// The position is handled as a whole frame index inside the loop, whose end is
// rounded down to a whole frame. A position outside the loop or between two
// frames is first wrapped into it and rounded down to a frame. A pass ends
// when the index leaves the loop; the walk continues at the index wrapped
// modulo the loop length, so even a step longer than the loop never reads
// before loopstart or at or beyond loopend.
//
// The 16.16 accumulator starts at 0 on every call: the fraction of a step left
// at the end of one buffer is not carried into the next.
#include <algorithm>
#include <cstring>

#include "engine/primitives/primitive_table.h"

namespace korvane::primitives::plain {

namespace {

enum class Direction { forward, backward };

int64_t floorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}

int64_t floorMod(int64_t value, int64_t modulus) {
    const int64_t rest = value % modulus;
    return rest < 0 ? rest + modulus : rest;
}

// Writes size / FrameBytes frames to dst (when Write) and moves *pos and
// *loops. When the last pass ends, the rest of dst is zero and the position
// rests at the end the last pass reached: loopend going forward, loopstart
// going backward. A stopped sound (*loops below 1) renders silence and stays
// where it is. The bytes of a partial frame at the end of dst are zero.
template <std::size_t FrameBytes, Direction Dir, bool Write>
void walkLoop(unsigned char* dst, void* loopstart, void** pos, void* loopend, int* loops, int64_t step,
              std::size_t size) {
    if (*loops < 1) {
        if constexpr (Write) {
            std::memset(dst, 0, size);
        }
        return;
    }
    constexpr auto frameBytes = static_cast<int64_t>(FrameBytes);
    auto* const base = static_cast<unsigned char*>(loopstart);
    const auto startAddress = reinterpret_cast<uintptr_t>(loopstart);
    const auto length = static_cast<int64_t>((reinterpret_cast<uintptr_t>(loopend) - startAddress) / FrameBytes);
    const auto offset = static_cast<int64_t>(reinterpret_cast<uintptr_t>(*pos) - startAddress);
    int64_t index = floorMod(floorDiv(offset, frameBytes), length);

    const auto frames = static_cast<int64_t>(size / FrameBytes);
    int64_t done = 0;
    int64_t fraction = 0;
    while (done < frames) {
        if (Dir == Direction::forward && step == unitStep) {
            // Speed 1 forward: whole runs up to the loop's end at once.
            const int64_t run = std::min(frames - done, length - index);
            if constexpr (Write) {
                std::memcpy(dst + done * frameBytes, base + index * frameBytes,
                            static_cast<std::size_t>(run * frameBytes));
            }
            done += run;
            index += run;
        } else {
            if constexpr (Write) {
                std::memcpy(dst + done * frameBytes, base + index * frameBytes, FrameBytes);
            }
            ++done;
            fraction += step;
            const int64_t advance = fraction >> 16;
            fraction &= 0xFFFF;
            index += Dir == Direction::forward ? advance : -advance;
        }
        if (index >= 0 && index < length) {
            continue;
        }
        if (--*loops == 0) {
            index = Dir == Direction::forward ? length : 0;
            break;
        }
        index = floorMod(index, length);
    }
    if constexpr (Write) {
        const auto written = static_cast<std::size_t>(done * frameBytes);
        std::memset(dst + written, 0, size - written);
    }
    *pos = base + index * frameBytes;
}

unsigned char* bytes(void* address) {
    return static_cast<unsigned char*>(address);
}

}  // namespace

void copyRight16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size) {
    walkLoop<2, Direction::forward, true>(bytes(dst), loopstart, pos, loopend, loops, unitStep, size);
}

void copyRight32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size) {
    walkLoop<4, Direction::forward, true>(bytes(dst), loopstart, pos, loopend, loops, unitStep, size);
}

void moveRight16(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size) {
    walkLoop<2, Direction::forward, false>(nullptr, loopstart, pos, loopend, loops, unitStep, size);
}

void moveRight32(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size) {
    walkLoop<4, Direction::forward, false>(nullptr, loopstart, pos, loopend, loops, unitStep, size);
}

void copySliceRight16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step,
                      std::size_t size) {
    walkLoop<2, Direction::forward, true>(bytes(dst), loopstart, pos, loopend, loops, step, size);
}

void copySliceRight32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step,
                      std::size_t size) {
    walkLoop<4, Direction::forward, true>(bytes(dst), loopstart, pos, loopend, loops, step, size);
}

void copySliceLeft16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step,
                     std::size_t size) {
    walkLoop<2, Direction::backward, true>(bytes(dst), loopstart, pos, loopend, loops, step, size);
}

void copySliceLeft32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step,
                     std::size_t size) {
    walkLoop<4, Direction::backward, true>(bytes(dst), loopstart, pos, loopend, loops, step, size);
}

void moveSliceRight16(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size) {
    walkLoop<2, Direction::forward, false>(nullptr, loopstart, pos, loopend, loops, step, size);
}

void moveSliceRight32(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size) {
    walkLoop<4, Direction::forward, false>(nullptr, loopstart, pos, loopend, loops, step, size);
}

void moveSliceLeft16(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size) {
    walkLoop<2, Direction::backward, false>(nullptr, loopstart, pos, loopend, loops, step, size);
}

void moveSliceLeft32(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size) {
    walkLoop<4, Direction::backward, false>(nullptr, loopstart, pos, loopend, loops, step, size);
}

}  // namespace korvane::primitives::plain
