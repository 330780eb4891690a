// The reverb: a two-tap feedback echo on an interleaved line of samples.
// Mode 1 uses fixed taps, mode 2 the preset reverb2, mode 3 reverb3; in
// stereo each tap reads the other channel, so the left's echo comes back on
// the right and the reverse.
//
// reverbSetup runs on the main thread and hands the taps (and, in mode 0, a
// clearing of the line) to the output thread, which takes them at the start
// of its next buffer.
#pragma once

#include "effects/chain/effect_settings.h"

namespace korvane {

// Samples of the echo line: more than two seconds of 44100 Hz stereo.
constexpr int reverbLineSize = 192000;

struct ReverbTaps {
    float k1 = 0.0f;  // gain of the first tap
    float k2 = 0.0f;  // gain of the second tap, already (1 - k1) x kreverb2
    int delay1 = 2;   // tap delays in interleaved samples, 2 .. reverbLineSize - 4
    int delay2 = 2;
};

// --- Main thread ---

// The taps of a mode for the output's rate and channels. Delays are whole
// frames, limited to the line while still in floating point.
ReverbTaps reverbTaps(int mode, const ReverbPreset& preset2, const ReverbPreset& preset3, int rate,
                      int channels);

// The taps of reverbMode and the presets, from the next buffer on; mode 0
// also clears the line.
void reverbSetup();

// Before the callback is first enabled: the line cleared on this thread, so
// that the output thread never meets a page of it that was not written
// yet. The setup that follows hands it over with the taps.
void prepareReverbLine();

// --- Output thread ---

extern float reverbLine[reverbLineSize + 1];  // positions 0 .. reverbLineSize - 1 are used
extern int linePos;                           // position written next
extern ReverbTaps activeTaps;

// Before the engine starts, or on the thread that runs the callback: the
// line silent, written from its start, and no taps, as the program starts.
// While the output thread may run, only reverbSetup changes them.
void resetReverbState();

// At the start of every call: taps and a clearing asked for since the last call.
void takeReverbSetup();

// The callback's x plus the two taps of the line (plus a floor that keeps
// the recirculating line away from denormal numbers), written to the line.
void reverbStage();

}  // namespace korvane
