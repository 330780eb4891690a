// Speed of the master callback: one call on a 600-frame stereo buffer of
// noise at about -12 dBFS, with the chain in each configuration below.
//
// Each benchmark times its loop in thread CPU time, then memcpy of the same
// 2400 bytes for the same number of iterations. Counters: "us_per_call";
// "pct_of_period", the call's share of the buffer's 13.6 ms (goal with every
// stage on: under 1); "x_memcpy", its time over memcpy's. Every iteration
// first copies the input into the buffer (the callback rewrites it in
// place), so one memcpy is part of each figure. The speed stage writes ahead
// through its 115 MB buffer; the pages it touches for the first time are
// part of its cost, as in the program's first minutes.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/window/scripted_platform.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"

namespace k = korvane;

namespace {

constexpr int kFrames = 600;
constexpr double kPeriod = kFrames / 44100.0;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Chain {
    const char* name;
    float speed;      // percent
    int autovolMode;
    int reverbMode;
    int eqOrder;      // 0: equalizer off
    int toMidi;
};

const Chain chains[] = {
    {"all off", 100.0f, 0, 0, 0, 0},      {"speed 80", 80.0f, 0, 0, 0, 0},
    {"autovol 6", 100.0f, 6, 0, 0, 0},    {"reverb 3", 100.0f, 0, 3, 0, 0},
    {"equalizer 4", 100.0f, 0, 0, 4, 0},  {"all on", 80.0f, 6, 3, 4, 0},
    {"toMidi", 100.0f, 0, 0, 0, 1},       {"toMidi, all on", 80.0f, 6, 3, 4, 1},
};

// The chain as the program starts (this thread runs the callback), then the
// configuration at volume 1.
void configure(const Chain& chain) {
    k::resetEffectChain();
    k::speed = chain.speed;
    k::volume = 1.0f;
    k::autovolMode = chain.autovolMode;
    k::reverbMode = chain.reverbMode;
    k::equalizerOn = chain.eqOrder > 0 ? 1 : 0;
    k::eqOrder = std::max(chain.eqOrder, 1);
    k::toMidiActive = chain.toMidi;
    k::reverbSetup();
    k::equalizerSetup();
    k::autoVolumeReset();
}

void Callback(benchmark::State& state) {
    const Chain& chain = chains[state.range(0)];
    k::ScriptedPlatform desk;
    k::installPlatform(&desk);
    configure(chain);

    std::vector<std::int16_t> input(kFrames * 2);
    std::uint32_t seed = 12345;
    for (std::int16_t& sample : input) {
        seed = seed * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(static_cast<int>(seed >> 16) % 16384 - 8192);
    }
    std::vector<std::int16_t> buffer(input.size());
    const auto call = [&] {
        std::memcpy(buffer.data(), input.data(), input.size() * sizeof(std::int16_t));
        k::masterCallback(buffer.data(), 2, kFrames);
        benchmark::ClobberMemory();
    };
    for (int i = 0; i < 8; ++i) call();  // the set-ups taken, the first update behind

    const double start = threadSeconds();
    for (auto _ : state) call();
    const double measured = threadSeconds() - start;

    std::vector<std::int16_t> copy(input.size());
    const double referenceStart = threadSeconds();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        std::memcpy(copy.data(), input.data(), input.size() * sizeof(std::int16_t));
        benchmark::ClobberMemory();
    }
    const double reference = threadSeconds() - referenceStart;
    k::toMidiActive = 0;
    k::installPlatform(nullptr);

    const double perCall = measured / static_cast<double>(state.iterations());
    state.SetLabel(chain.name);
    state.counters["us_per_call"] = 1e6 * perCall;
    state.counters["pct_of_period"] = 100.0 * perCall / kPeriod;
    state.counters["x_memcpy"] = measured / reference;
}

}  // namespace

BENCHMARK(Callback)->DenseRange(0, static_cast<int>(std::size(chains)) - 1);

BENCHMARK_MAIN();
