// Inside the sample primitives: the processor's features, the table of
// implementations that the exported functions call through, and every
// variant, so that tests and benchmarks can reach each one directly.
//
// The exported functions check their arguments and convert float gains and
// speeds to 16.16 fixed point once; the variants below trust both. Sizes are
// bytes. None of them allocates, locks or calls the system.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace korvane::primitives {

// What the processor offers, each flag 0 or 1. Read once while the engine
// library loads; never changes afterwards.
struct CpuFeatures {
    int cpuid = 0;  // the CPUID instruction answers; without it only fpu is set
    int fpu = 0;
    int tsc = 0;
    int cmov = 0;
    int mmx = 0;
    int mmx2 = 0;
    int sse = 0;
    int sse2 = 0;
    int threeDNow = 0;
    int threeDNow2 = 0;
    int avx2 = 0;   // the instructions, and the system saves the YMM registers
};

CpuFeatures detectCpuFeatures();
// The features of this processor, detected before main.
const CpuFeatures& cpuFeatures();

// Clock in MHz. With a time-stamp counter: counter ticks over a busy wait of
// at least one second. Without: a count-down loop of fixed length timed by the
// steady clock. 0 when the measurement failed.
int measureMhz(const CpuFeatures& features);
// The cycle count without a time-stamp counter: steady-clock seconds x mhz x
// 1,000,000, rounded.
int64_t timerCycles(int mhz);

// round(value x 65536) to the nearest (ties to even), limited to the int32
// range; NaN gives 0. Multiplying a float by 65536 is exact, so the only
// rounding is the final one.
inline int32_t toFixed16(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::nearbyint(static_cast<double>(value) * 65536.0);
    if (scaled >= 2147483647.0) {
        return INT32_MAX;
    }
    if (scaled <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(scaled);
}

// A sample times a 16.16 gain. floor(product / 65536) leaves -32768..32767
// exactly when the 32-bit product does not overflow, so clamping the shifted
// 64-bit product gives 32767 / -32768 for a positive / negative overflow.
inline int16_t scaleSample(int16_t sample, int32_t gain) {
    const int64_t shifted = (int64_t{sample} * gain) >> 16;
    if (shifted > INT16_MAX) {
        return INT16_MAX;
    }
    if (shifted < INT16_MIN) {
        return INT16_MIN;
    }
    return static_cast<int16_t>(shifted);
}

inline int16_t addSaturated(int16_t a, int16_t b) {
    const int sum = int{a} + int{b};
    return static_cast<int16_t>(sum > INT16_MAX ? INT16_MAX : (sum < INT16_MIN ? INT16_MIN : sum));
}

// Step of a resampling walk for speed 1.0: one frame per output frame.
inline constexpr int32_t unitStep = 65536;

// One entry per primitive. Loop variants take a loop of at least one frame and
// non-null addresses; ring variants take ringstart < ringend and a position
// inside [ringstart, ringend].
struct PrimitiveTable {
    void (*zero)(void* buf, std::size_t size);
    void (*zeroBuffer)(void* ringstart, void** pos, void* ringend, std::size_t size);
    void (*copy)(void* dst, const void* src, std::size_t size);
    void (*mix16)(void* dst, const void* a, const void* b, std::size_t size);
    void (*scale16)(void* dst, const void* src, int32_t gain, std::size_t size);
    // Scales channel scaledChannel (0 left, 1 right) of size / 4 stereo frames
    // and copies the other.
    void (*pan16)(void* dst, const void* src, int32_t gain, int scaledChannel, std::size_t size);

    void (*copyRight16)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
    void (*copyRight32)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
    void (*moveRight16)(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
    void (*moveRight32)(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
    // step: round(abs(speed) x 65536)
    void (*copySliceRight16)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*copySliceRight32)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*copySliceLeft16)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*copySliceLeft32)(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*moveSliceRight16)(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*moveSliceRight32)(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*moveSliceLeft16)(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
    void (*moveSliceLeft32)(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);

    void (*copyMp3Frame)(void* ringstart, void** pos, void* ringend, const void* src, std::size_t size);
    // step: round(ratio x 65536), not negative
    void (*copySliceMp3Frame16)(void* ringstart, void** pos, void* ringend, const void* src, int32_t step, std::size_t size);
    void (*copySliceMp3Frame32)(void* ringstart, void** pos, void* ringend, const void* src, int32_t step, std::size_t size);
    void (*scaleMp3Frame22)(void* dst, const int32_t* left, const int32_t* right, std::size_t count);
    void (*scaleMp3Frame21)(void* dst, const int32_t* left, const int32_t* right, std::size_t count);
    void (*scaleMp3Frame12)(void* dst, const int32_t* mono, std::size_t count);
    void (*scaleMp3Frame11)(void* dst, const int32_t* mono, std::size_t count);
};

// The portable implementation of every primitive; the reference that each
// vector variant must equal bit for bit.
namespace plain {
void zero(void* buf, std::size_t size);
void zeroBuffer(void* ringstart, void** pos, void* ringend, std::size_t size);
void copy(void* dst, const void* src, std::size_t size);
void mix16(void* dst, const void* a, const void* b, std::size_t size);
void scale16(void* dst, const void* src, int32_t gain, std::size_t size);
void pan16(void* dst, const void* src, int32_t gain, int scaledChannel, std::size_t size);

void copyRight16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
void copyRight32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
void moveRight16(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
void moveRight32(void* loopstart, void** pos, void* loopend, int* loops, std::size_t size);
void copySliceRight16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void copySliceRight32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void copySliceLeft16(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void copySliceLeft32(void* dst, void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void moveSliceRight16(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void moveSliceRight32(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void moveSliceLeft16(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);
void moveSliceLeft32(void* loopstart, void** pos, void* loopend, int* loops, int32_t step, std::size_t size);

void copyMp3Frame(void* ringstart, void** pos, void* ringend, const void* src, std::size_t size);
void copySliceMp3Frame16(void* ringstart, void** pos, void* ringend, const void* src, int32_t step, std::size_t size);
void copySliceMp3Frame32(void* ringstart, void** pos, void* ringend, const void* src, int32_t step, std::size_t size);
void scaleMp3Frame22(void* dst, const int32_t* left, const int32_t* right, std::size_t count);
void scaleMp3Frame21(void* dst, const int32_t* left, const int32_t* right, std::size_t count);
void scaleMp3Frame12(void* dst, const int32_t* mono, std::size_t count);
void scaleMp3Frame11(void* dst, const int32_t* mono, std::size_t count);
}  // namespace plain

// 16-byte blocks; SSE2 is part of every x86-64 processor.
namespace sse2 {
void copy(void* dst, const void* src, std::size_t size);
void mix16(void* dst, const void* a, const void* b, std::size_t size);
void scale16(void* dst, const void* src, int32_t gain, std::size_t size);
}  // namespace sse2

// 32-byte blocks; call only when cpuFeatures().avx2 is 1.
namespace avx2 {
void copy(void* dst, const void* src, std::size_t size);
void mix16(void* dst, const void* a, const void* b, std::size_t size);
void scale16(void* dst, const void* src, int32_t gain, std::size_t size);
}  // namespace avx2

// The plain table with the vector variants the features allow.
PrimitiveTable choosePrimitives(const CpuFeatures& features);
// The table the exported functions call through, chosen while the engine
// library loads.
const PrimitiveTable& activePrimitives();

}  // namespace korvane::primitives
