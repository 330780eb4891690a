#include "tools/converter/resume.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/text/text_file.h"
#include "tomidi/tomidi_settings.h"
#include "tools/converter/analysis/note_model.h"
#include "tools/converter/midi_file.h"

namespace korvane::converter {

namespace fs = std::filesystem;

std::string conversionRecord(const Options& options) {
    const ToMidiSettings& s = toMidiSettings;
    const char* analysis = options.playerTiming ? "player timing" : options.raw ? "raw" : "learned";
    char text[256];
    std::snprintf(text, sizeof text,
                  "korvane-tomidi %s, note model %08x: %s; vol %.7g, lock %d, harmo %d, cpu %d, "
                  "sin-exponent %.7g, window-factor %.7g, shift %.7g",
                  KORVANE_VERSION, static_cast<unsigned>(noteModelIdentity()), analysis, s.vol, s.lock, s.harmo,
                  s.cpu, s.sinExponent, s.windowFactor, options.shift);
    return text;
}

bool resultsUpToDate(const Job& job, const std::string& record) {
    std::error_code error;
    const auto inputTime = fs::last_write_time(job.input, error);
    if (error) return false;
    for (const std::string* result : {&job.output, &job.notes, &job.wav, &job.wavMix}) {
        if (result->empty()) continue;
        const auto resultTime = fs::last_write_time(*result, error);
        if (error || resultTime < inputTime) return false;
    }
    std::string bytes;
    return readTextFile(job.output, bytes) && midiFileNote(bytes) == record;
}

}  // namespace korvane::converter
