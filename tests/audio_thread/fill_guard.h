// What real-time audio code must never do, counted on the thread that runs
// the engine's fill while it runs it: allocations and frees (the C
// allocator, operator new and delete, aligned forms included), mutex and
// other lock acquisitions, blocking calls (sleeps, waits, file, terminal
// and socket I/O) and page faults.
//
// The counting functions are this test program's own definitions of those
// library functions; each forwards to the next definition (glibc's) and
// counts only while the calling thread is inside a fill. Page faults are
// the thread's ru_minflt (and ru_majflt) moving between enterFill and
// leaveFill. The main thread and every other thread allocate and block as
// they like.
//
// Interposing the allocator clashes with the sanitizers' own, so this is
// built only without them.
#pragma once

#include <cstdint>
#include <string>

namespace korvane::guard {

enum class Slip { Allocation, Free, Lock, Blocking, PageFault };
inline constexpr int slipKinds = 5;

// Output thread, around each call of the engine's fill (the plug-out calls
// them, see TESTPLUG_OBSERVE). The page fault count of the fill is measured
// between the two, so they stay as short as they are.
void enterFill();
void leaveFill();

// Any thread: the counts since the last reset.
std::int64_t fillCount();
std::int64_t slips(Slip kind);

// Main thread, while no output thread runs: every count back to 0.
void resetCounts();

// Main thread: every count; for each kind that happened, the first function
// that did it, in which fill, with the output thread's call stack then; and
// the first fills that faulted, with their fault counts.
std::string report();

}  // namespace korvane::guard
