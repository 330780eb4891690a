// Speed and memory of korvane-tomidi on a generated three-minute MP3.
//
// OneFile: one conversion at the converter's defaults (the loudness pass,
// the analysis pass through spectrum, note model and note decisions, the
// MIDI file written),
// in this process, on the wall clock. Each iteration also decodes the same
// file, already in memory, with bare libmad. Counters: "x_realtime", the
// audio's duration over the conversion's time (goal: at least 60), and
// "x_bare_libmad", the conversion's time over libmad's.
//
// Batch: the same file four times, converted by the batch on one core (one
// job, the process and its decoder thread kept to the first processor) and
// then on both cores with two jobs (one process per file, as korvane-tomidi
// runs them). Counters: "x_both_cores", the one-core time over the
// both-cores time (goal: at least 1.8 on two cores), and "peak_MiB", the
// largest resident size any conversion process reached (goal: under 64).
//
// NoteModel/set: the note model alone on a minute of spectrum frames, with
// the convolution compiled for the plain, SSE2 and AVX2 instruction sets.
// Counter: "x_realtime", a minute over the model's time.
#include <benchmark/benchmark.h>
#include <mad.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/audio/bare_libmad.h"
#include "tools/converter/analysis/note_model.h"
#include "tools/converter/batch.h"
#include "tools/converter/conversion.h"
#include "tools/converter/settings.h"

namespace kc = korvane::converter;

namespace {

const std::string kMusic = std::string(KORVANE_TEST_AUDIO_DIR) + "/music_180s_44100_stereo.mp3";
constexpr double kSeconds = 180.0;

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("korvane-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

void OneFile(benchmark::State& state) {
    std::ifstream file(kMusic, std::ios::binary);
    const std::vector<unsigned char> data{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    kc::Options options;
    std::string error;
    kc::applySettings(options, error);
    const kc::Job job{kMusic, scratch("one.mid")};
    double converting = 0.0;
    double decoding = 0.0;
    for (auto _ : state) {
        const double begin = wallSeconds();
        const kc::Outcome outcome = kc::convertJob(job, options, [](double, double) {});
        const double middle = wallSeconds();
        korvane::test::decodeWithLibmad(data, [](const mad_pcm&) {});
        const double end = wallSeconds();
        if (!outcome.ok) state.SkipWithError(outcome.text.c_str());
        converting += middle - begin;
        decoding += end - middle;
        state.SetIterationTime(middle - begin);
    }
    std::filesystem::remove(job.output);
    const double n = static_cast<double>(state.iterations());
    state.counters["x_realtime"] = kSeconds * n / converting;
    state.counters["x_bare_libmad"] = converting / decoding;
}
BENCHMARK(OneFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void Batch(benchmark::State& state) {
    kc::Options options;
    std::string error;
    kc::applySettings(options, error);
    std::vector<kc::Job> jobs;
    for (int i = 0; i < 4; ++i) jobs.push_back({kMusic, scratch("batch" + std::to_string(i) + ".mid")});
    const kc::Converter convert = [&options](const kc::Job& job, const kc::ProgressReport& progress) {
        return kc::convertJob(job, options, progress);
    };
    double alone = 0.0;
    double together = 0.0;
    cpu_set_t all;
    ::sched_getaffinity(0, sizeof all, &all);
    cpu_set_t first;
    CPU_ZERO(&first);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &first);
            break;
        }
    for (auto _ : state) {
        ::sched_setaffinity(0, sizeof first, &first);  // the children inherit it
        const double begin = wallSeconds();
        kc::runJobs(jobs, 1, true, 0, convert);
        const double middle = wallSeconds();
        ::sched_setaffinity(0, sizeof all, &all);
        kc::runJobs(jobs, 2, true, 0, convert);
        const double end = wallSeconds();
        alone += middle - begin;
        together += end - middle;
        state.SetIterationTime(end - middle);
    }
    for (const kc::Job& job : jobs) std::filesystem::remove(job.output);
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    state.counters["x_both_cores"] = alone / together;
    state.counters["peak_MiB"] = static_cast<double>(children.ru_maxrss) / 1024.0;
}
BENCHMARK(Batch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void NoteModel(benchmark::State& state) {
    const auto set = static_cast<kc::InstructionSet>(state.range(0));
    if (set == kc::InstructionSet::Avx2 && kc::bestInstructionSet() != kc::InstructionSet::Avx2) {
        state.SkipWithError("no AVX2 here");
        return;
    }
    // A minute of frames: a few notes' partials over a low floor.
    const auto frames = static_cast<std::int64_t>(60.0 / kc::spectrumFrameTime(1));
    std::vector<kc::SpectrumFrame> minute(static_cast<std::size_t>(frames));
    for (std::size_t k = 0; k < minute.size(); ++k)
        for (std::size_t b = 0; b < minute[k].size(); ++b)
            minute[k][b] = (b + k / 40) % 36 < 2 ? 7.0f : 0.5f;
    double seconds = 0.0;
    for (auto _ : state) {
        int made = 0;
        kc::NoteModel model([&made](const kc::NoteFrame&) { ++made; }, set);
        const double begin = wallSeconds();
        for (const kc::SpectrumFrame& frame : minute) model.push(frame);
        model.finish();
        seconds += wallSeconds() - begin;
        benchmark::DoNotOptimize(made);
    }
    state.counters["x_realtime"] = 60.0 * static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(NoteModel)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
