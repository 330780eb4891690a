// Resuming a long batch: every MIDI file records how it was made (the
// converter's version, its note model and the settings that shape the
// notes) in a text event at its start, and --skip-existing leaves an input
// alone when all its results are in place, not older than the input, and
// made the way this run would make them.
#pragma once

#include <string>

#include "tools/converter/batch.h"
#include "tools/converter/options.h"

namespace korvane::converter {

// How this run makes its results, as the MIDI files record it. Call once
// the settings are applied (applySettings).
std::string conversionRecord(const Options& options);

// Whether every result of the job exists, none is older than the input
// (equal times count as up to date: coarse file systems store whole
// seconds), and the MIDI file carries `record`.
bool resultsUpToDate(const Job& job, const std::string& record);

}  // namespace korvane::converter
