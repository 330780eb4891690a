// The main panel and the button widget. Main thread only.
#pragma once

#include <string>

namespace korvane {

using ButtonAction = void (*)();

// Draws a button and, when the pending click lies inside it (edges
// included), runs its action.
void drawButton(const std::string& label, ButtonAction action, int x, int y, int width,
                int height, double face);
void drawMainPanel();
// The button group and the level slider; runs the action under the pending click.
void drawButtons();

}  // namespace korvane
