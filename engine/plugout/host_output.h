// The host-driven output: a built-in plug-out with the same record and entry
// points as a library, but no thread. The host asks for each buffer
// (FBS_HOST_PULLBUFFER), so tests and the offline converter run the whole
// chain in virtual time, as fast as the processor allows.
#pragma once

#include "engine/fbs.h"

namespace korvane::engine {

// Fills a discovery candidate with the host output's entry points; library
// stays null.
void describeHostOutput(PlugoutRecord& record);

}  // namespace korvane::engine
