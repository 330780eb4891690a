// The master callback: the engine calls it on the output thread with every
// finished buffer, after mixing and master volume and before the buffer is
// played. It runs each sample through the effect stages, writes the result
// back, keeps `lastSoundTime` fresh and raises `trackEnded` when a track has
// run out. Nothing in it allocates, locks or makes a system call.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvane {

// Facts about the output, stored by start-up before the callback is enabled.
extern std::atomic<int> plugBits;      // bits per sample; the callback works only at 16
extern std::atomic<int> plugRate;      // frames per second
extern std::atomic<int> plugChannels;  // 1 or 2

// The samples of one call: channels x frames, at most this many; the rest of
// a longer buffer is left as the mixer made it.
constexpr int maxSamplesPerCall = 18000;
// Output level limit, below full scale to leave headroom.
constexpr float outputLimit = 32400.0f;

// Output-thread state of the call in progress, read and replaced by the stages.
extern int sampleIndex;  // sample being processed; even left, odd right
extern float x;          // its working value, in 16-bit sample units
extern int peak;         // largest |x| since the last sound check, at least 1

// The engine's master callback: buffer holds frames x channels interleaved
// signed 16-bit samples, rewritten in place. Returns 0.
int masterCallback(void* buffer, int channels, int frames);

// Delays and resamples x to play at `speed` percent (40..100) by
// nearest-sample reading; idle while playback is stopped. The buffer holds
// about 326 s of stereo lag. Positions wrap at speedWrap, leaving two spare
// entries for the stereo read of position + 1.
constexpr std::int32_t speedBufferLength = 28'800'000;
constexpr std::int32_t speedWrap = 28'799'998;
void speedStage();

// Main thread: the speed stage starts again (positions and phase 0) with the
// next buffer. Called when a track starts and when playback stops.
void resetSpeedStage();

}  // namespace korvane
