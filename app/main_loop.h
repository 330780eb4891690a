// The main loop: polling, button clicks, the end of a track, one-key
// commands, and the clock and progress bar. Main thread only.
#pragma once

#include <string>

namespace korvane {

// Runs until Space, Escape or the close request ends a pass.
void mainLoop();
// Minutes and seconds, each at least two digits: 00:59, 01:00, 125:00.
std::string clockText(double seconds);
// The mixer's master volume with automatic volume off, and on.
constexpr float plainMasterVolume = 0.85f;
constexpr float autoVolumeMasterVolume = 0.9f;
// FBS_ENABLE_MASTERCALLBACK, then the master volume for the auto-volume mode.
void applyEffectSettings();

}  // namespace korvane
