// Speed of the engine's stream and mixer.
//
// DecodeThroughStream: a 3-minute 44.1 kHz MP3 decoded through the stream on
// the host-driven output (file reads, decoding, conversion, the ring and one
// fill call per buffer), timed on the wall clock because the decoder has its
// own thread. Each iteration also decodes the same file, already in memory,
// with bare libmad (frame decode and synthesis only). Counters:
// "x_bare_libmad" is the stream's time over libmad's (goal: at most 1.15),
// "x_realtime" the audio's duration over the stream's time (goal: at least
// 100).
//
// FillCall: one fill call of 600 stereo frames with the stream as the only
// source and the master volume at 0.85, timed in thread CPU time. Counters:
// "pct_of_period", its share of the buffer's 13.6 ms (goal: under 0.5), and
// "x_memcpy", its time over memcpy of the same 2400 bytes.
#include <benchmark/benchmark.h>
#include <mad.h>
#include <time.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/fbs.h"
#include "engine/mixer/mixer.h"
#include "engine/plugout/engine_state.h"
#include "engine/stream/stream.h"
#include "tests/audio/bare_libmad.h"

namespace ke = korvane::engine;

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 600;

const std::string kMusic = std::string(KORVANE_TEST_AUDIO_DIR) + "/music_180s_44100_stereo.mp3";

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// Decodes the file, held in memory, with libmad alone; returns the samples
// per channel.
int64_t decodeBare(const std::vector<unsigned char>& data) {
    int64_t samples = 0;
    korvane::test::decodeWithLibmad(data, [&samples](const mad_pcm& pcm) { samples += pcm.length; });
    return samples;
}

// Plays the file through the stream to its end; returns the frames pulled.
int64_t decodeThroughStream() {
    FBS_CREATE_MP3STREAM(kMusic.c_str());
    FBS_PLAY_MP3STREAM(1.0f, 0.0f);
    int64_t frames = 0;
    const void* buffer = nullptr;
    while (FBS_HOST_PULLBUFFER(&buffer) > 0 && FBS_GET_PLAYINGSTREAMS() == 1) {
        frames += kFrames;
    }
    FBS_END_MP3STREAM();
    return frames;
}

void DecodeThroughStream(benchmark::State& state) {
    const std::vector<unsigned char> data = korvane::test::readForLibmad(kMusic);
    FBS_USE_HOSTOUTPUT(1);
    if (FBS_INIT(kRate, 2, 3, kFrames, 0) != 1) {
        state.SkipWithError("the host output did not start");
        return;
    }
    double streamSeconds = 0.0;
    double bareSeconds = 0.0;
    double audioSeconds = 0.0;
    for (auto _ : state) {
        const double start = wallSeconds();
        const int64_t frames = decodeThroughStream();
        const double middle = wallSeconds();
        benchmark::DoNotOptimize(decodeBare(data));
        bareSeconds += wallSeconds() - middle;
        streamSeconds += middle - start;
        audioSeconds += static_cast<double>(frames) / kRate;
        state.SetIterationTime(middle - start);
    }
    FBS_EXIT();
    FBS_USE_HOSTOUTPUT(0);
    state.counters["x_bare_libmad"] = streamSeconds / bareSeconds;
    state.counters["x_realtime"] = audioSeconds / streamSeconds;
}

// Leaves the stream with a ring of decoded audio and its decoder stopped, so
// that fill calls find a buffer without waiting.
bool prepareFilledRing() {
    if (FBS_CREATE_MP3STREAM(kMusic.c_str()) != 1 || FBS_PLAY_MP3STREAM(1.0f, 0.0f) != 1) {
        return false;
    }
    ke::StreamState& s = ke::stream;
    while (s.avail.load() < s.filllimit - 4608 && s.decoding.load() == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    s.decoding.store(0);
    ke::signalProgress();
    s.thread.join();
    return s.avail.load() >= s.buffersize;
}

void FillCall(benchmark::State& state) {
    FBS_USE_HOSTOUTPUT(1);
    if (FBS_INIT(kRate, 2, 3, kFrames, 0) != 1 || !prepareFilledRing()) {
        state.SkipWithError("no stream to mix");
        return;
    }
    FBS_SET_MASTERVOLUME(0.85f);
    PlugoutRecord* record = ke::plugoutInUse();
    const int bytes = record->buffersize;
    const double start = threadSeconds();
    for (auto _ : state) {
        ke::stream.avail.store(3 * bytes, std::memory_order_relaxed);
        ke::fillBuffer(record);
        benchmark::ClobberMemory();
    }
    const double measured = threadSeconds() - start;

    std::vector<unsigned char> from(static_cast<size_t>(bytes), 1);
    std::vector<unsigned char> to(static_cast<size_t>(bytes));
    const double referenceStart = threadSeconds();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::ClobberMemory();
    }
    const double reference = threadSeconds() - referenceStart;
    FBS_EXIT();
    FBS_USE_HOSTOUTPUT(0);

    const double perCall = measured / static_cast<double>(state.iterations());
    state.counters["pct_of_period"] = 100.0 * perCall / (static_cast<double>(kFrames) / kRate);
    state.counters["x_memcpy"] = measured / reference;
}

}  // namespace

BENCHMARK(DecodeThroughStream)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(FillCall);

BENCHMARK_MAIN();
