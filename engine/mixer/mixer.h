// The mixer: the engine's fill function, which a plug-out calls on its
// output thread for each buffer. It takes the stream's next buffer, renders
// the playing sounds, mixes them with saturation, applies the master volume
// and runs the master callback. It allocates nothing, takes no lock and
// makes no system call.
#pragma once

#include "engine/fbs.h"

namespace korvane::engine {

// The stream plus one source per slot.
inline constexpr int kMaxSources = 257;
// Every source buffer (the stream's output, a slot's mixing buffer) holds the
// output buffer size plus this many bytes.
inline constexpr int kMixBufferSlack = 512;

// Output thread: fills record->buffersize bytes at record->buffer.
void fillBuffer(PlugoutRecord* record);

// Main thread: returns once every fill call that began before this call has
// returned. After clearing a flag that the mixer reads at the start of a call
// (a stream's active), the buffers behind it are then the caller's.
void waitForFillCalls();

}  // namespace korvane::engine
