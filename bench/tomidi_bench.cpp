// Speed of one toMidi frame's work: measureAllRows and trackNotes on a full
// ring of music-like sound (chords of decaying harmonic tones over noise).
//
// Frame/<cpu>/<windowFactor x 10>: the frame as the player runs it.
// PlainFrame/...: the same levels measured one row after another by
// measureLevelBudgeted, the plain form of the arithmetic, then trackNotes.
// Counters: "terms" per frame, "ns_per_term", "pct_of_frame" (the share of
// the 25 ms frame; goals: under 2 at the defaults 4800/10, under 5 at
// 12000/19) and, for Frame, "x_plain": its time over PlainFrame's. Times
// are the thread's processor time.
//
// Levels/<cpu>/<windowFactor x 10>/<rows abreast>: measureAllRows alone,
// four rows abreast (SSE2) or eight (AVX2; skipped without it), with
// "x_plain": its time over PlainLevels', the same levels one row after
// another, and for eight "x_four": its time over four's. Goals: under
// 0.12 ms a frame at 4800/10 and under 0.3 ms at 12000/19, the heaviest
// settings.
//
// BuildTables: the note tables and the phase table as start-up builds them.
//
// Limiter: the built-in synthesizer's peak limiter on one 512-frame period
// of loud stereo, on the synthesizer's audio thread: "pct_of_period" (the
// share of the period's 11.6 ms) and "x_memcpy" (its time over copying the
// period's samples).
#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "effects/chain/analysis_ring.h"
#include "tomidi/note_tracking.h"
#include "tomidi/peak_limiter.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {
namespace {

constexpr double kFrameSeconds = 0.025;

void fillRingWithMusic() {
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> noise(-300.0f, 300.0f);
    // Three chords of four notes, one every 0.66 s, each note with five
    // harmonics decaying at their own rate.
    const int chords[3][4] = {{48, 60, 64, 67}, {53, 57, 60, 65}, {55, 59, 62, 67}};
    for (int i = 0; i < analysisRingUsed; ++i) {
        const int chord = std::min(2, i / 29400);
        const double t = (i - chord * 29400) / 44100.0;
        double value = noise(random);
        for (int note : chords[chord]) {
            const double f = 440.0 * std::exp2((note - 69) / 12.0);
            for (int h = 1; h <= 5; ++h)
                value += 3000.0 / h * std::exp(-t * (1.5 + h)) * std::sin(2 * M_PI * f * h * (i / 44100.0));
        }
        analysisRing.samples[i].store(static_cast<float>(value) + ringFloor);
    }
    analysisRing.writePos.store(12345);
}

int totalTerms() {
    int terms = 0;
    for (int r = 0; r <= highestRow; ++r) terms += budgetOf(r).terms;
    return terms;
}

void prepare(benchmark::State& state) {
    static bool built = false;
    toMidiSettings = ToMidiSettings{};
    toMidiSettings.cpu = static_cast<int>(state.range(0));
    toMidiSettings.windowFactor = static_cast<float>(state.range(1)) / 10.0f;
    buildNoteTables();
    if (!built) {
        buildPhaseTable();
        built = true;
    }
    fillRingWithMusic();
    kz0 = 1.003f;
}

// Seconds per frame of a reference measurement, by settings, for the x_
// counters.
using ReferenceSeconds = std::map<std::pair<int64_t, int64_t>, double>;

ReferenceSeconds& plainFrameSeconds() {
    static ReferenceSeconds seconds;
    return seconds;
}

ReferenceSeconds& plainLevelsSeconds() {
    static ReferenceSeconds seconds;
    return seconds;
}

ReferenceSeconds& fourAbreastSeconds() {
    static ReferenceSeconds seconds;
    return seconds;
}

void remember(benchmark::State& state, double seconds, ReferenceSeconds& reference) {
    reference[{state.range(0), state.range(1)}] = seconds / static_cast<double>(state.iterations());
}

void reportAgainst(benchmark::State& state, double seconds, const ReferenceSeconds& reference, const char* counter) {
    const auto found = reference.find({state.range(0), state.range(1)});
    if (found != reference.end())
        state.counters[counter] = seconds / static_cast<double>(state.iterations()) / found->second;
}

void measurePlainly() {
    for (int r = 0; r <= highestRow; ++r) {
        readMark = analysisRing.writePos.load();
        noteRows[r].noteLevel = measureLevelBudgeted(kz0, r);
    }
}

void report(benchmark::State& state, double seconds) {
    const double frames = static_cast<double>(state.iterations());
    const int terms = totalTerms();
    state.counters["terms"] = terms;
    state.counters["ns_per_term"] = seconds / frames / terms * 1e9;
    state.counters["pct_of_frame"] = seconds / frames / kFrameSeconds * 100.0;
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The work's time on this thread's processor, so that other programs on a
// busy machine do not count.
double cpuSeconds(benchmark::State& state, auto&& work) {
    double seconds = 0.0;
    for (auto _ : state) {
        const double begin = threadSeconds();
        work();
        seconds += threadSeconds() - begin;
        benchmark::ClobberMemory();
    }
    return seconds;
}

void PlainFrame(benchmark::State& state) {
    prepare(state);
    const double seconds = cpuSeconds(state, [] {
        measurePlainly();
        trackNotes(0.0);
    });
    report(state, seconds);
    remember(state, seconds, plainFrameSeconds());
}

void Frame(benchmark::State& state) {
    prepare(state);
    const double seconds = cpuSeconds(state, [] {
        measureAllRows();
        trackNotes(0.0);
    });
    report(state, seconds);
    reportAgainst(state, seconds, plainFrameSeconds(), "x_plain");
}

void PlainLevels(benchmark::State& state) {
    prepare(state);
    const double seconds = cpuSeconds(state, measurePlainly);
    report(state, seconds);
    remember(state, seconds, plainLevelsSeconds());
}

void Levels(benchmark::State& state) {
    const Lockstep width = state.range(2) == 8 ? Lockstep::eight : Lockstep::four;
    if (width == Lockstep::eight && widestLockstep() != Lockstep::eight) {
        state.SkipWithError("the processor has no AVX2");
        return;
    }
    prepare(state);
    const double seconds = cpuSeconds(state, [width] { measureAllRows(width); });
    report(state, seconds);
    reportAgainst(state, seconds, plainLevelsSeconds(), "x_plain");
    if (width == Lockstep::four)
        remember(state, seconds, fourAbreastSeconds());
    else
        reportAgainst(state, seconds, fourAbreastSeconds(), "x_four");
}

void BuildTables(benchmark::State& state) {
    toMidiSettings = ToMidiSettings{};
    for (auto _ : state) {
        buildNoteTables();
        buildPhaseTable();
    }
}

void Limiter(benchmark::State& state) {
    constexpr int frames = 512;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> loud(-1.5f, 1.5f);
    std::vector<float> period(2 * frames);
    for (float& sample : period) sample = loud(random);
    std::vector<float> work = period;
    std::vector<float> copy(period.size());
    // The reference, in the same process: the period copied.
    const int copies = 100000;
    const double copyBegin = threadSeconds();
    for (int i = 0; i < copies; ++i) {
        std::memcpy(copy.data(), period.data(), period.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
    const double copySeconds = (threadSeconds() - copyBegin) / copies;

    PeakLimiter limiter;
    const double seconds = cpuSeconds(state, [&] {
        std::memcpy(work.data(), period.data(), period.size() * sizeof(float));
        limiter.process(work.data(), work.data() + 1, 2, frames);
    });
    const double perPeriod = seconds / static_cast<double>(state.iterations());
    state.counters["pct_of_period"] = perPeriod / (frames / 44100.0) * 100.0;
    state.counters["x_memcpy"] = perPeriod / copySeconds;
}

BENCHMARK(PlainFrame)->Args({4800, 10})->Args({12000, 19})->Unit(benchmark::kMicrosecond);
BENCHMARK(Frame)->Args({4800, 10})->Args({12000, 19})->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainLevels)->Args({4800, 10})->Args({12000, 19})->Unit(benchmark::kMicrosecond);
BENCHMARK(Levels)->ArgsProduct({{4800}, {10}, {4, 8}})->ArgsProduct({{12000}, {19}, {4, 8}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BuildTables)->Unit(benchmark::kMillisecond);
BENCHMARK(Limiter)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace korvane

BENCHMARK_MAIN();
