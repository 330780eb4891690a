// libmad's fixed-point samples to 16-bit, in the channel count of the output.
// Runs on the decoder thread.
#include <cstring>

#include "engine/primitives/primitive_table.h"

namespace korvane::primitives::plain {

namespace {

// 28 fraction bits: 0x10000000 is full scale. Shifting by 13 keeps 15 bits
// and the sign; everything from full scale up saturates.
int16_t fromMadFixed(int32_t value) {
    if (value > 0x0FFFFFFF) {
        return INT16_MAX;
    }
    if (value < -0x10000000) {
        return INT16_MIN;
    }
    return static_cast<int16_t>(value >> 13);
}

void storeSample(void* dst, std::size_t index, int16_t sample) {
    std::memcpy(static_cast<unsigned char*>(dst) + index * sizeof sample, &sample, sizeof sample);
}

}  // namespace

void scaleMp3Frame22(void* dst, const int32_t* left, const int32_t* right, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        storeSample(dst, 2 * i, fromMadFixed(left[i]));
        storeSample(dst, 2 * i + 1, fromMadFixed(right[i]));
    }
}

// Mono from stereo at half the level of either channel: floor((l + r) / 4).
void scaleMp3Frame21(void* dst, const int32_t* left, const int32_t* right, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const int sum = int{fromMadFixed(left[i])} + int{fromMadFixed(right[i])};
        storeSample(dst, i, static_cast<int16_t>(sum >> 2));
    }
}

void scaleMp3Frame12(void* dst, const int32_t* mono, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const int16_t sample = fromMadFixed(mono[i]);
        storeSample(dst, 2 * i, sample);
        storeSample(dst, 2 * i + 1, sample);
    }
}

void scaleMp3Frame11(void* dst, const int32_t* mono, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        storeSample(dst, i, fromMadFixed(mono[i]));
    }
}

}  // namespace korvane::primitives::plain
