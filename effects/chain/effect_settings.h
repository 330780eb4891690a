// The effect settings kept across runs and read by the master callback.
//
// The std::atomic values are written by the main thread and read by the
// master callback on the output thread; a change applies from the next
// sample that reads it. The presets below are main-thread only.
#pragma once

#include <atomic>

namespace korvane {

extern std::atomic<float> speed;        // playback speed, percent, 40..100
extern std::atomic<float> volume;       // output level, 0.02..1.7
extern std::atomic<int> autovolMode;    // 0..6
extern std::atomic<int> reverbMode;     // 0..3
extern std::atomic<int> equalizerOn;    // 0 or 1
extern std::atomic<int> toMidiActive;   // 1 while the toMidi panel runs
// Equalizer filter order: 1..4 after start-up; a loaded ".equ" file may set
// any value, and orders outside 1..4 pass samples through unchanged.
extern std::atomic<int> eqOrder;

struct ReverbPreset {
    float kreverb1 = 0.0f;  // gains 0.0..0.7
    float kreverb2 = 0.0f;
    float Treverb1 = 0.0f;  // delays, whole milliseconds 10..1000
    float Treverb2 = 0.0f;
};
extern ReverbPreset reverb2;
extern ReverbPreset reverb3;

// Main thread only: the equalizer hears a change once equalizerSetup has run.
struct EqualizerSettings {
    int lowf = 200;      // crossover frequencies, Hz, 20..20000
    int highf = 8000;
    float lowg = 2.0f;   // band gains 0.0..10.0
    float midg = 1.0f;
    float highg = 1.2f;
};
extern EqualizerSettings equalizer;

// Brings values from a file into the ranges the effect stages and their
// panels keep, each limited first from above, then from below. Delays are
// limited before they are rounded to whole milliseconds (ties to even).
void limitReverbPreset(ReverbPreset& preset);
void limitEqualizerSettings(EqualizerSettings& settings);
// Start-up only: eqOrder to 1..4.
void limitEqualizerOrder();

// Main thread: every setting above as the program starts. The stages hear
// the presets and the equalizer after their setups.
void resetEffectSettings();

}  // namespace korvane
