// The toMidi settings kept across runs. Main thread only.
#pragma once

namespace korvane {

// The velocity scale a first start has.
constexpr float defaultVelocityScale = 0.2f;

struct ToMidiSettings {
    float vol = defaultVelocityScale;  // velocity scale
    int lock = 1;              // tuning iterations, 1..10
    int harmo = 1;             // harmonic subtraction strength
    int cpu = 4800;            // measurement budget, 1200..12000
    float sinExponent = 1.0f;  // kernel shape exponent
    float windowFactor = 1.0f; // analysis window scale
};
extern ToMidiSettings toMidiSettings;

}  // namespace korvane
