// korvane-tomidi: converts MP3 files to Standard MIDI Files with korvane's
// learned note analysis, or the player's own toMidi events, faster than real
// time. See usageText() for the options.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/converter/batch.h"
#include "tools/converter/conversion.h"
#include "tools/converter/options.h"
#include "tools/converter/settings.h"

using namespace korvane::converter;

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "korvane-tomidi: %s\n\n%s", parsed.error.c_str(), usageText().c_str());
        return exitUsage;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("korvane-tomidi %s\n", KORVANE_VERSION);
        return 0;
    }
    std::string error;
    if (!applySettings(options, error)) {
        std::fprintf(stderr, "korvane-tomidi: %s\n", error.c_str());
        return exitUsage;
    }
    const std::vector<Job> jobs = planJobs(options);
    if (jobs.empty()) {
        std::fprintf(stderr, "korvane-tomidi: no .mp3 file in %s\n", options.inputs.front().c_str());
        return exitFailed;
    }
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int parallel = options.jobs > 0 ? options.jobs : (cores > 0 ? cores : 1);
    return runJobs(jobs, parallel, options.quiet, [&options](const Job& job, const ProgressReport& progress) {
        return convertJob(job, options, progress);
    });
}
