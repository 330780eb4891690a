// Processor detection, the clock rate and the cycle counter.
#include <cpuid.h>
#include <x86intrin.h>

#include <chrono>
#include <cmath>

#include "engine/primitives/primitive_table.h"
#include "engine/primitives/primitives.h"

namespace korvane::primitives {

namespace {

int bit(unsigned int value, int index) {
    return static_cast<int>((value >> index) & 1u);
}

// The state components the system saves on a context switch (XCR0).
uint64_t savedStateComponents() {
    unsigned int low = 0;
    unsigned int high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t{high} << 32) | low;
}

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

CpuFeatures detectCpuFeatures() {
    CpuFeatures features;
    features.fpu = 1;
    const unsigned int maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf == 0) {
        return features;
    }
    features.cpuid = 1;

    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    __cpuid(1, eax, ebx, ecx, edx);
    features.tsc = bit(edx, 4);
    features.cmov = bit(edx, 15);
    features.mmx = bit(edx, 23);
    features.sse = bit(edx, 25);
    features.sse2 = bit(edx, 26);
    const int osSavesState = bit(ecx, 27);  // OSXSAVE: XGETBV is usable
    const int avx = bit(ecx, 28);

    const unsigned int maxExtendedLeaf = __get_cpuid_max(0x80000000u, nullptr);
    if ((maxExtendedLeaf & 0x80000000u) != 0 && (maxExtendedLeaf & 0xFFu) != 0) {
        __cpuid(0x80000001u, eax, ebx, ecx, edx);
        features.mmx2 = bit(edx, 22);
        features.threeDNow = bit(edx, 31);
        features.threeDNow2 = bit(edx, 30);
    }

    if (maxLeaf >= 7 && avx != 0 && osSavesState != 0) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        // XMM (bit 1) and YMM (bit 2) state must both be saved by the system.
        const bool ymmSaved = (savedStateComponents() & 0x6u) == 0x6u;
        features.avx2 = bit(ebx, 5) != 0 && ymmSaved ? 1 : 0;
    }
    return features;
}

const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = detectCpuFeatures();
    return features;
}

int measureMhz(const CpuFeatures& features) {
    if (features.tsc != 0) {
        const double start = steadySeconds();
        const uint64_t startTicks = __rdtsc();
        double now = start;
        while (now - start < 1.0) {
            now = steadySeconds();
        }
        const uint64_t ticks = __rdtsc() - startTicks;
        return static_cast<int>(std::lround(static_cast<double>(ticks / 1000000) / (now - start)));
    }
    // A count-down of fixed length; 100 / its duration approximates the clock.
    volatile int32_t countdown = 44444444;
    const double start = steadySeconds();
    while (countdown > 0) {
        countdown = countdown - 1;
    }
    const double duration = steadySeconds() - start;
    return duration > 0.0 ? static_cast<int>(std::floor(100.0 / duration)) : 0;
}

int64_t timerCycles(int mhz) {
    return std::llround(steadySeconds() * mhz * 1e6);
}

}  // namespace korvane::primitives

using korvane::primitives::cpuFeatures;

extern "C" {

FBS_API int ISFPU(void) {
    return cpuFeatures().fpu;
}

FBS_API int ISTSC(void) {
    return cpuFeatures().tsc;
}

FBS_API int ISCMOV(void) {
    return cpuFeatures().cmov;
}

FBS_API int ISMMX(void) {
    return cpuFeatures().mmx;
}

FBS_API int ISMMX2(void) {
    return cpuFeatures().mmx2;
}

FBS_API int ISSSE(void) {
    return cpuFeatures().sse;
}

FBS_API int ISSSE2(void) {
    return cpuFeatures().sse2;
}

FBS_API int IS3DNOW(void) {
    return cpuFeatures().threeDNow;
}

FBS_API int IS3DNOW2(void) {
    return cpuFeatures().threeDNow2;
}

FBS_API int ISAVX2(void) {
    return cpuFeatures().avx2;
}

// Measured on the first call (about one second with a time-stamp counter),
// not while the program starts; later calls answer at once.
FBS_API int MHZ(void) {
    static const int mhz = korvane::primitives::measureMhz(cpuFeatures());
    return mhz;
}

FBS_API int64_t CPUCOUNTER(void) {
    if (cpuFeatures().tsc != 0) {
        return static_cast<int64_t>(__rdtsc());
    }
    return korvane::primitives::timerCycles(MHZ());
}

}  // extern "C"
