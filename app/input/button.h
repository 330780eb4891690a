// The button widget of the main panel and the panels. Main thread only.
#pragma once

#include <string>

namespace korvane {

using ButtonAction = void (*)();

// Draws a button and, when the pending click lies inside it (edges
// included), runs its action. face is an ARGB colour held in a real.
void drawButton(const std::string& label, ButtonAction action, int x, int y, int width,
                int height, double face);

}  // namespace korvane
