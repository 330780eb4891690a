// Writing into a ring (the stream's, on the decoder thread): zero padding,
// decoded frames copied whole, and decoded frames resampled by repetition.
// A write position never rests on ringend; it wraps to ringstart.
#include <algorithm>
#include <cstring>

#include "engine/primitives/primitive_table.h"

namespace korvane::primitives::plain {

namespace {

// Hands the ring's contiguous runs covering size bytes from *at to fill(to,
// done, run), where done counts the bytes before this run; moves *at on.
template <typename Fill>
void walkRing(unsigned char* start, unsigned char* end, unsigned char** at, std::size_t size, Fill fill) {
    unsigned char* to = *at;
    std::size_t done = 0;
    while (done < size) {
        if (to == end) {
            to = start;
        }
        const std::size_t run = std::min(size - done, static_cast<std::size_t>(end - to));
        fill(to, done, run);
        to += run;
        done += run;
    }
    *at = to == end ? start : to;
}

void writeRing(unsigned char* start, unsigned char* end, unsigned char** at, const unsigned char* src,
               std::size_t size) {
    walkRing(start, end, at, size,
             [src](unsigned char* to, std::size_t done, std::size_t run) { std::memcpy(to, src + done, run); });
}

// Output frame k is source frame floor(k x ratio), with ratio as a 16.16 step.
template <std::size_t FrameBytes>
void copySliceMp3Frame(void* ringstart, void** pos, void* ringend, const void* src, int32_t step,
                       std::size_t size) {
    auto* const start = static_cast<unsigned char*>(ringstart);
    auto* const end = static_cast<unsigned char*>(ringend);
    auto* at = static_cast<unsigned char*>(*pos);
    const auto* const source = static_cast<const unsigned char*>(src);
    uint64_t accumulator = 0;
    for (std::size_t k = 0; k < size / FrameBytes; ++k) {
        writeRing(start, end, &at, source + (accumulator >> 16) * FrameBytes, FrameBytes);
        accumulator += static_cast<uint64_t>(step);
    }
    *pos = at;
}

}  // namespace

void zeroBuffer(void* ringstart, void** pos, void* ringend, std::size_t size) {
    auto* at = static_cast<unsigned char*>(*pos);
    walkRing(static_cast<unsigned char*>(ringstart), static_cast<unsigned char*>(ringend), &at, size,
             [](unsigned char* to, std::size_t, std::size_t run) { std::memset(to, 0, run); });
    *pos = at;
}

// Whole 4-byte words: size / 4 x 4 bytes.
void copyMp3Frame(void* ringstart, void** pos, void* ringend, const void* src, std::size_t size) {
    auto* at = static_cast<unsigned char*>(*pos);
    writeRing(static_cast<unsigned char*>(ringstart), static_cast<unsigned char*>(ringend), &at,
              static_cast<const unsigned char*>(src), size / 4 * 4);
    *pos = at;
}

void copySliceMp3Frame16(void* ringstart, void** pos, void* ringend, const void* src, int32_t step,
                         std::size_t size) {
    copySliceMp3Frame<2>(ringstart, pos, ringend, src, step, size);
}

void copySliceMp3Frame32(void* ringstart, void** pos, void* ringend, const void* src, int32_t step,
                         std::size_t size) {
    copySliceMp3Frame<4>(ringstart, pos, ringend, src, step, size);
}

}  // namespace korvane::primitives::plain
