// The master callback: the engine calls it on the output thread with every
// finished buffer, after mixing and master volume and before the buffer is
// played. Each sample runs through the stages in a fixed order: speed, peak
// tracking, volume or automatic gain with compression, reverb, equalizer.
// The result is written back clipped, or, while toMidi runs, fed to the
// analysis ring and replaced by silence. After the samples come the
// automatic-volume update, the check for sound and the end of the track.
// Nothing in it allocates, locks or makes a system call; what the main
// thread changes (a filter, the echo taps, a reset) it takes at the start of
// the next buffer.
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
// Frames between two automatic-volume updates: an update runs once more
// than this many have been counted.
constexpr int framesPerUpdate = 2200;
// frameAccumulator after a reset: the next call runs an update.
constexpr int forceUpdate = 99999;

// Output-thread state of the call in progress, read and replaced by the stages.
extern int sampleIndex;   // sample being processed; even left, odd right
extern float x;           // its working value, in 16-bit sample units
extern int callChannels;  // plugChannels, read once per call
extern int peak;          // largest |x| before the gain since the last sound check, at least 1
extern int frameAccumulator;  // frames counted towards the next automatic-volume update

// Main thread, once the engine runs and before the callback is enabled:
// the output's facts stored, automatic volume reset, the speed ring prepared
// for the speed, the reverb line cleared, the reverb presets and the
// equalizer limited to their ranges and both stages set up. Each stage
// takes what is prepared here with the first buffer it processes.
void prepareEffectStages();

// The engine's master callback: buffer holds frames x channels interleaved
// signed 16-bit samples, rewritten in place. Returns 0.
int masterCallback(void* buffer, int channels, int frames);

// Delays and resamples x to play at `speed` percent (40..100) by
// nearest-sample reading; idle while playback is stopped. The ring holds
// about 326 s of stereo lag. Positions wrap at speedWrap, leaving two spare
// entries for the stereo read of position + 1.
constexpr std::int32_t speedBufferLength = 28'800'000;
constexpr std::int32_t speedWrap = 28'799'998;
void speedStage();

// Main thread, wherever the speed may have dropped below 100: the first time
// it has, the speed stage's ring (115 MB) is allocated and every page of it
// written here, never on the output thread, and handed over; the program
// keeps it from then on. Until the callback has it, it plays at full speed.
// The converter, at speed 100, never holds it.
void prepareSpeedRing();

// Main thread: the speed stage starts again (positions and phase 0) with the
// next buffer, with its ring prepared for the speed. Called when a track
// starts and when playback stops.
void resetSpeedStage();

// Before the engine starts, or on the thread that runs the callback: the
// output's facts and the state above as the program starts; the speed stage
// starts again through resetSpeedStage.
void resetCallbackState();

}  // namespace korvane
