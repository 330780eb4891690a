// Speed of the engine's sounds.
//
// MixSixtyFourSounds: one fill call of 600 stereo frames with 64 sounds of
// one wave playing, looped, at speeds from 0.5 to 2, every second one
// backward, panned from left to right, at volume 0.8; timed in thread CPU
// time. Counters: "pct_of_period", its share of the buffer's 13.6 ms (goal:
// under 2), and "x_one_sound", its time over a fill call with one such sound.
//
// LoadWav3Minutes: FBS_LOAD_WAVFILE (and FBS_DESTROY_WAVE) of a 3-minute
// 44.1 kHz 16-bit stereo WAV file, on the 44.1 kHz stereo output, timed in
// thread CPU time against reading the same file into memory. Counter:
// "x_read", the load's time over the read's.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/fbs.h"
#include "engine/mixer/mixer.h"
#include "engine/plugout/engine_state.h"
#include "engine/sounds/file_bytes.h"
#include "tests/engine/wav_bytes.h"

namespace ke = korvane::engine;

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 600;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

bool startHostOutput() {
    FBS_USE_HOSTOUTPUT(1);
    return FBS_INIT(kRate, 2, 3, kFrames, 0) == 1;
}

void stopHostOutput() {
    FBS_EXIT();
    FBS_USE_HOSTOUTPUT(0);
}

// Two seconds of a stereo wave that is not silent anywhere.
int makeWave() {
    int wave = -1;
    void* samples = nullptr;
    FBS_CREATE_WAVE(2 * kRate, &wave, &samples);
    auto* out = static_cast<int16_t*>(samples);
    uint32_t noise = 1;
    for (int i = 0; i < 4 * kRate; ++i) {
        noise = noise * 1664525u + 1013904223u;
        out[i] = static_cast<int16_t>(static_cast<int>(noise >> 20) - 2048 + 8000 * std::sin(i * 0.01));
    }
    return wave;
}

void playSounds(int wave, int count) {
    for (int i = 0; i < count; ++i) {
        const float speed = 0.5f + 1.5f * static_cast<float>(i) / 63.0f;
        const float pan = -1.0f + 2.0f * static_cast<float>(i) / 63.0f;
        FBS_PLAY_WAVE(wave, 0, i % 2 == 0 ? speed : -speed, 0.8f, pan, nullptr);
    }
}

// Thread CPU seconds of iterations fill calls with count sounds playing.
double timeFillCalls(int count, benchmark::IterationCount iterations) {
    const int wave = makeWave();
    playSounds(wave, count);
    PlugoutRecord* record = ke::plugoutInUse();
    const double start = threadSeconds();
    for (benchmark::IterationCount i = 0; i < iterations; ++i) {
        ke::fillBuffer(record);
        benchmark::ClobberMemory();
    }
    return threadSeconds() - start;
}

void MixSixtyFourSounds(benchmark::State& state) {
    if (!startHostOutput()) {
        state.SkipWithError("the host output did not start");
        return;
    }
    const int wave = makeWave();
    playSounds(wave, 64);
    PlugoutRecord* record = ke::plugoutInUse();
    const double start = threadSeconds();
    for (auto _ : state) {
        ke::fillBuffer(record);
        benchmark::ClobberMemory();
    }
    const double measured = threadSeconds() - start;
    if (FBS_GET_PLAYINGSOUNDS() != 64) {
        state.SkipWithError("not every sound played");
    }
    stopHostOutput();
    startHostOutput();
    const double reference = timeFillCalls(1, state.iterations());
    stopHostOutput();

    const double perCall = measured / static_cast<double>(state.iterations());
    state.counters["pct_of_period"] = 100.0 * perCall / (static_cast<double>(kFrames) / kRate);
    state.counters["x_one_sound"] = measured / reference;
}

// A 3-minute stereo WAV file in the temporary folder, made once.
const std::string& longWavFile() {
    static const std::string path = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string name = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") +
                           "/korvane-bench-" + std::to_string(::getpid()) + ".wav";
        std::vector<int16_t> samples(static_cast<size_t>(180) * kRate * 2);
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>(12000 * std::sin(static_cast<double>(i / 2) * (i % 2 == 0 ? 0.05 : 0.07)));
        }
        const std::vector<uint8_t> wav = ke::test::wav16(2, kRate, samples);
        FILE* file = std::fopen(name.c_str(), "wb");
        if (file != nullptr) {
            std::fwrite(wav.data(), 1, wav.size(), file);
            std::fclose(file);
        }
        std::atexit([] { std::remove(longWavFile().c_str()); });
        return name;
    }();
    return path;
}

void LoadWav3Minutes(benchmark::State& state) {
    const std::string& path = longWavFile();
    if (!startHostOutput()) {
        state.SkipWithError("the host output did not start");
        return;
    }
    double loadSeconds = 0.0;
    double readSeconds = 0.0;
    for (auto _ : state) {
        const double start = threadSeconds();
        int wave = -1;
        if (FBS_LOAD_WAVFILE(path.c_str(), &wave) != 1) {
            state.SkipWithError("the file did not load");
            break;
        }
        FBS_DESTROY_WAVE(&wave);
        const double middle = threadSeconds();
        const ke::FileBytes bytes = ke::readFileBytes(path.c_str());
        benchmark::DoNotOptimize(bytes.size);
        const double end = threadSeconds();
        loadSeconds += middle - start;
        readSeconds += end - middle;
        state.SetIterationTime(middle - start);
    }
    stopHostOutput();
    state.counters["x_read"] = loadSeconds / readSeconds;
}

}  // namespace

BENCHMARK(MixSixtyFourSounds);
BENCHMARK(LoadWav3Minutes)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
