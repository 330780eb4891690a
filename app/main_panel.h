// The main panel: its buttons, level slider and indicators. Main thread only.
#pragma once

#include <string>

namespace korvane {

void drawMainPanel();
// The button group and the level slider; runs the action under the pending click.
void drawButtons();

// The repeat indicator for repeatMode 0..5; "" for any other mode.
std::string repeatLabel();

// No indicator drawn yet, as the program starts: a mode outside 0..5 shows
// none until a known one has been drawn.
void resetMainPanel();

}  // namespace korvane
