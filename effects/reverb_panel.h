// The panel of one reverb preset: four bars in the main window, for the
// first delay and gain and the second delay and gain, set by clicking or
// dragging with the left button; S and L save and load a ".rev" file, any
// other key closes it. Playback goes on and the end of a track is serviced
// while it is open. Main thread only.
#pragma once

#include <string>

#include "effects/chain/effect_settings.h"

namespace korvane {

// Clears the window and draws the bars and figures of preset; a pointer at
// (mx, my) on a bar first sets that bar's value. (-1, -1): no pointer.
void drawReverbPanel(ReverbPreset& preset, const std::string& name, int mx, int my);

// Runs until a key other than S or L; that key is consumed (a close request
// stays queued for the main loop). Every change is heard at once.
void reverbPanel(ReverbPreset& preset, const std::string& name);

}  // namespace korvane
