// Speed of COPY, MIX16 and SCALE16 against memcpy of the same size.
//
// Each benchmark times its own loop in thread CPU time (so that time spent
// preempted on a busy machine does not count), then times memcpy of the same
// size for the same number of iterations on the same buffers, and reports the
// ratio of the two times as the counter "x_memcpy" (1.0: as fast as memcpy).
// Sizes: one 600-frame stereo buffer (2400 bytes) and 1 MiB. "exported" is
// the function callers use (the variant this processor selects); the others
// are the variants themselves, for comparison.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/primitives/primitive_table.h"
#include "engine/primitives/primitives.h"

namespace kp = korvane::primitives;

namespace {

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The master volume the program uses without automatic volume.
constexpr float gain = 0.85f;

struct Buffers {
    std::vector<int16_t> a;
    std::vector<int16_t> b;
    std::vector<int16_t> dst;

    explicit Buffers(std::size_t size) : a(size / 2), b(size / 2), dst(size / 2) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            a[i] = static_cast<int16_t>(i * 7919);
            b[i] = static_cast<int16_t>(i * 104729);
        }
    }
};

using Operation = void (*)(Buffers& buffers, std::size_t size);

void againstMemcpy(benchmark::State& state, Operation operation) {
    const auto size = static_cast<std::size_t>(state.range(0));
    Buffers buffers(size);

    const double start = threadSeconds();
    for (auto _ : state) {
        operation(buffers, size);
        benchmark::ClobberMemory();
    }
    const double measured = threadSeconds() - start;

    const double referenceStart = threadSeconds();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        std::memcpy(buffers.dst.data(), buffers.a.data(), size);
        benchmark::ClobberMemory();
    }
    const double reference = threadSeconds() - referenceStart;

    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    state.counters["x_memcpy"] = measured / reference;
}

template <void (*Copy)(void*, const void*, std::size_t)>
void copyWith(Buffers& b, std::size_t size) {
    Copy(b.dst.data(), b.a.data(), size);
}

template <void (*Mix)(void*, const void*, const void*, std::size_t)>
void mixWith(Buffers& b, std::size_t size) {
    Mix(b.dst.data(), b.a.data(), b.b.data(), size);
}

template <void (*Scale)(void*, const void*, int32_t, std::size_t)>
void scaleWith(Buffers& b, std::size_t size) {
    Scale(b.dst.data(), b.a.data(), kp::toFixed16(gain), size);
}

struct Measured {
    std::string name;
    bool available;
    Operation operation;
};

const bool registered = [] {
    const bool avx2 = kp::cpuFeatures().avx2 != 0;
    const Measured measured[] = {
        {"COPY/exported", true, [](Buffers& b, std::size_t size) { COPY(b.dst.data(), b.a.data(), int(size)); }},
        {"COPY/avx2", avx2, copyWith<kp::avx2::copy>},
        {"COPY/sse2", true, copyWith<kp::sse2::copy>},
        {"COPY/plain", true, copyWith<kp::plain::copy>},
        {"MIX16/exported", true,
         [](Buffers& b, std::size_t size) { MIX16(b.dst.data(), b.a.data(), b.b.data(), int(size)); }},
        {"MIX16/avx2", avx2, mixWith<kp::avx2::mix16>},
        {"MIX16/sse2", true, mixWith<kp::sse2::mix16>},
        {"MIX16/plain", true, mixWith<kp::plain::mix16>},
        {"SCALE16/exported", true,
         [](Buffers& b, std::size_t size) { SCALE16(b.dst.data(), b.a.data(), gain, int(size)); }},
        {"SCALE16/avx2", avx2, scaleWith<kp::avx2::scale16>},
        {"SCALE16/sse2", true, scaleWith<kp::sse2::scale16>},
        {"SCALE16/plain", true, scaleWith<kp::plain::scale16>},
    };
    for (const Measured& m : measured) {
        if (m.available) {
            benchmark::RegisterBenchmark(m.name.c_str(), againstMemcpy, m.operation)->Arg(2400)->Arg(1 << 20);
        }
    }
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
