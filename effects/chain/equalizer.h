// The three-band equalizer. Two cascades of one-pole low-pass filters split
// each channel into a low band (below lowf), a high band (above highf) and
// the mid band (what is left of the input); each band is multiplied by its
// gain and the three are summed. The cascade length is the order, 1..4: the
// steepness of the band edges. With every gain at 1 the equalizer is a delay
// of order - 1 samples.
//
// equalizerSetup runs on the main thread and hands a new filter to the
// output thread, which takes it at the start of its next buffer.
#pragma once

#include <array>

#include "effects/chain/effect_settings.h"

namespace korvane {

// Added at the input of each cascade so that silence never decays into
// denormal numbers; also the value a setup gives every state.
constexpr float eqFloor = 0.00001f;

// One channel's filter. The coefficients and gains are copies taken by
// equalizerSetup: a parameter change is heard only after a setup.
struct EqChannel {
    float lowCoef = 0.0f;   // one-pole smoothing coefficients, 0..2
    float highCoef = 0.0f;
    float lowGain = 1.0f;
    float midGain = 1.0f;
    float highGain = 1.0f;
    std::array<float, 4> low{};   // cascade states, stage 1 first
    std::array<float, 4> high{};
    std::array<float, 3> past{};  // the channel's last inputs, most recent first
};

// --- Main thread ---

// A fresh filter for the settings at the output's rate (limited to
// 4000..100000 Hz): coefficients 2 sin(3.1416 f / rate), worked out in
// double precision; every state at eqFloor.
EqChannel equalizerChannel(const EqualizerSettings& settings, int rate);

// Both channels start again from `equalizer` at the engine's current rate,
// from the next buffer on. The order is not part of it: the filter reads
// eqOrder at every buffer, and a change of order alone keeps the states.
void equalizerSetup();

// --- Output thread ---

// A for mono and for the left (even) samples of stereo, B for the right.
extern EqChannel eqChannelA;
extern EqChannel eqChannelB;

// Before the engine starts, or on the thread that runs the callback: both
// channels as the program starts. While the output thread may run, only
// equalizerSetup changes them.
void resetEqualizerState();

// At the start of every call: a setup made since the last call, and the order.
void takeEqualizerSetup();

// Filters the callback's x for the channel of sampleIndex. Orders other
// than 1..4 leave x as it is.
void equalizerStage();

}  // namespace korvane
