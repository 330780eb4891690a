// Plain clearing, copying, mixing, gain and pan of 16-bit sample buffers.
// Samples are read and written through memcpy so that any byte address works.
#include <cstring>

#include "engine/primitives/primitive_table.h"

namespace korvane::primitives::plain {

namespace {

int16_t loadSample(const unsigned char* at) {
    int16_t sample;
    std::memcpy(&sample, at, sizeof sample);
    return sample;
}

void storeSample(unsigned char* at, int16_t sample) {
    std::memcpy(at, &sample, sizeof sample);
}

}  // namespace

void zero(void* buf, std::size_t size) {
    std::memset(buf, 0, size);
}

// A leading odd byte, then an odd 2-byte unit, then 4-byte words.
void copy(void* dst, const void* src, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    if ((size & 1) != 0) {
        *d++ = *s++;
        --size;
    }
    if ((size & 2) != 0) {
        std::memcpy(d, s, 2);
        d += 2;
        s += 2;
        size -= 2;
    }
    for (std::size_t i = 0; i < size; i += 4) {
        uint32_t word;
        std::memcpy(&word, s + i, 4);
        std::memcpy(d + i, &word, 4);
    }
}

void mix16(void* dst, const void* a, const void* b, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i + 2 <= size; i += 2) {
        storeSample(d + i, addSaturated(loadSample(x + i), loadSample(y + i)));
    }
}

void scale16(void* dst, const void* src, int32_t gain, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    for (std::size_t i = 0; i + 2 <= size; i += 2) {
        storeSample(d + i, scaleSample(loadSample(s + i), gain));
    }
}

void pan16(void* dst, const void* src, int32_t gain, int scaledChannel, std::size_t size) {
    auto* d = static_cast<unsigned char*>(dst);
    const auto* s = static_cast<const unsigned char*>(src);
    const std::size_t scaled = scaledChannel == 0 ? 0 : 2;
    const std::size_t copied = 2 - scaled;
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        storeSample(d + i + scaled, scaleSample(loadSample(s + i + scaled), gain));
        storeSample(d + i + copied, loadSample(s + i + copied));
    }
}

}  // namespace korvane::primitives::plain
