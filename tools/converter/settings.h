// The settings korvane-tomidi converts with: the player's own from a
// korvane.ini (given with --config, or found in the current folder), else
// the converter's defaults; then the toMidi settings of the command line.
#pragma once

#include <string>

#include "tools/converter/options.h"

namespace korvane::converter {

// The converter's defaults. The learned analysis reads the decoded audio
// and takes only the velocity scale, the player's (defaultVelocityScale),
// from these settings; the others tune the player's own analysis, which
// --raw and --player-timing run: short windows at the smallest budget,
// strong harmonic subtraction, the most tuning iterations. The player's
// decisions (--raw) come out best on the evaluation corpora from the
// steadier levels of windows of 0.6; --player-timing without --raw runs at
// 0.45.
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
