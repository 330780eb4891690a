// korvane's icon: the title bar with a "k", the green progress bar and the
// toMidi panel's note bars, blue with green peaks under the red peak line,
// drawn 32 x 32 with the window's own font and lines in the panel's colours.
// The menu entry's icons (data/icons, written by korvane-icon) and the icon
// the window shows in title bars and task bars are this one drawing.
// Main thread only.
#pragma once

#include "app/window/platform.h"

namespace korvane {

constexpr int iconSize = 32;

// The drawing with every pixel a scale x scale block: 32 x 32 at 1, 64 x 64
// at 2 and so on; opaque ARGB.
Framebuffer korvaneIcon(int scale = 1);

}  // namespace korvane
