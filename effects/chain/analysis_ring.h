// The analysis ring: the last two seconds of the output, one mono entry per
// frame, fed by the master callback while toMidi runs and read backwards
// from writePos by the pitch analysis.
//
// The output thread writes the entries and publishes each finished one by
// advancing writePos (release); the main thread reads writePos (acquire) and
// the entries behind it. Entries are relaxed atomics: a long window can meet
// entries being overwritten at its far end, which the analysis accepts.
#pragma once

#include <atomic>

namespace korvane {

// 88200 used entries, two seconds at 44100 frames per second; the three
// spare entries are only ever cleared.
constexpr int analysisRingUsed = 88200;
constexpr int analysisRingLength = 88203;
// Added to every entry, so that silence is never an exact zero.
constexpr float ringFloor = 0.000000001f;

struct AnalysisRing {
    std::atomic<float> samples[analysisRingLength];  // left + right + ringFloor, 16-bit units
    std::atomic<int> writePos{0};  // entry being filled, 0 .. analysisRingUsed - 1
};
extern AnalysisRing analysisRing;

// Main thread: sets every entry (spares included) to ringFloor; writePos
// stays where it is.
void clearAnalysisRing();
// Before the engine starts, or on the thread that runs the callback: the
// entries cleared and writePos back at its start.
void resetAnalysisRing();

}  // namespace korvane
