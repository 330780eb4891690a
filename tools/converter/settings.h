// The settings korvane-tomidi converts with: the player's own from a
// korvane.ini (given with --config, or found in the current folder), else
// the converter's defaults; then the toMidi settings of the command line.
#pragma once

#include <string>

#include "tools/converter/options.h"

namespace korvane::converter {

// The converter's defaults, the panel settings that transcribe best on the
// evaluation corpora: short windows at the smallest budget, strong harmonic
// subtraction, the most tuning iterations; the velocity scale is the
// player's (defaultVelocityScale). The refinement resolves fast repeated
// notes and low lines better from the shorter windows of 0.45; the player's
// own decisions (--raw) come out best from the steadier levels of 0.6.
constexpr int defaultLock = 7;
constexpr int defaultHarmo = 10;
constexpr int defaultCpu = 1200;
constexpr float defaultSinExponent = 1.0f;
constexpr float defaultWindowFactor = 0.45f;
constexpr float defaultRawWindowFactor = 0.6f;
constexpr float defaultVolume = 1.3f;  // the chain's volume, for --raw

// Sets the player's settings for this process. False, with the reason, when
// the --config file cannot be read.
bool applySettings(const Options& options, std::string& error);

}  // namespace korvane::converter
