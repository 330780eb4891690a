// The main loop: polling, button clicks, the end of a track, one-key
// commands, and the clock and progress bar. Main thread only.
#pragma once

#include <string>

namespace korvane {

extern int keyCode;        // key of the current pass; buttons and clicks write it too
extern std::string keyText;  // one character, keyCode mod 256; emptied by the command that ran
extern int clickPending;   // 1: a left click seen and not yet consumed
extern int clickX;         // window position of the pending click; -1 at the start of a pass
extern int clickY;
extern int mouseX;         // last mouse reading; all -1 outside the window
extern int mouseY;
extern int mouseButtons;
extern int savedPlaying;   // `playing` around a command; the playlist panel may set it
extern double auxvar;      // diagnostic value, shown when |auxvar| > 0.00001

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
