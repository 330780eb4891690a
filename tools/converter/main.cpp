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
#include "tools/converter/resume.h"
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
    Options listed = options;
    for (const std::string& list : options.lists) {
        if (!readInputList(list, listed.inputs, error)) {
            std::fprintf(stderr, "korvane-tomidi: %s\n", error.c_str());
            return exitUsage;
        }
    }
    const std::vector<Job> planned = planJobs(listed);
    if (planned.empty()) {
        if (listed.inputs.empty())
            std::fprintf(stderr, "korvane-tomidi: no input in %s\n", options.lists.front().c_str());
        else
            std::fprintf(stderr, "korvane-tomidi: no .mp3 file in %s\n", listed.inputs.front().c_str());
        return exitFailed;
    }
    std::vector<Job> jobs;
    const std::string record = conversionRecord(listed);
    for (const Job& job : planned)
        if (!listed.skipExisting || !resultsUpToDate(job, record)) jobs.push_back(job);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int parallel = listed.jobs > 0 ? listed.jobs : (cores > 0 ? cores : 1);
    return runJobs(jobs, parallel, listed.quiet, planned.size() - jobs.size(),
                   [&listed](const Job& job, const ProgressReport& progress) { return convertJob(job, listed, progress); });
}
