// Automatic volume and compression. In modes 1..6 a gain, agcGain, replaces
// the user's volume: a peak envelope of the signal entering the gain is
// updated about every 2200 frames and the gain puts the recent peak at
// 16384 x volume, half of full scale at volume 1. Modes 2..6 add a
// compressor above a threshold below that target, with a make-up gain that
// brings the target back; the higher the mode, the lower the threshold and
// the stronger the compression. The per-sample arithmetic is in the master
// callback.
#pragma once

namespace korvane {

// --- Output thread: the state of the automatic gain ---
// Levels are fractions of full scale (1.0 = 32768) unless said otherwise.

extern float agcGain;        // gain per sample in modes 1..6, at most 5
extern float envelope;       // peak envelope
extern float heldEnvelope;   // envelope .. 1.12 x envelope: the gain's 12 % hysteresis
extern float smoothing;      // weight of the old envelope in the release step
extern float blockLevel;     // peak / 32768 at the last update
extern double holdUntil;     // clock seconds; the release is fast until then
extern double lastUpdate;    // clock seconds of the last update
extern float compThreshold;  // 16-bit units; modes 2..6
extern float compRatio;      // share of the excess above the threshold removed
extern float makeupGain;     // gain after compression: 16384 x volume comes out unchanged

// The largest gain automatic volume gives.
constexpr float maxAgcGain = 5.0f;

// Main thread: the gain and envelope start again (and an update runs) from
// the next buffer on. Called at start-up, at every track start, and when
// key A has just chosen mode 1.
void autoVolumeReset();

// Before the engine starts, or on the thread that runs the callback: the
// state above as the program starts. While the output thread may run, only
// autoVolumeReset restarts the stage.
void resetAutoVolumeState();

// At the start of every call: a reset asked for since the last call.
void takeAutoVolumeReset();

// The periodic update from the callback's peak: envelope, gain and, in
// modes 2..6, the compressor's threshold and ratio.
void autoVolumeUpdate();

}  // namespace korvane
