// The main panel and the button widget. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "app/window/platform.h"

namespace korvane {

constexpr int mainWindowWidth = 344;
constexpr int mainWindowHeight = 93;
constexpr std::uint32_t defaultForeground = rgb(155, 255, 255);
constexpr std::uint32_t panelBackground = rgb(0, 0, 100);
constexpr std::uint32_t titleBarColour = rgb(0, 50, 100);
constexpr std::uint32_t hoverColour = rgb(255, 255, 0);

using ButtonAction = void (*)();

// Draws a button and, when the pending click lies inside it (edges
// included), runs its action. face is an ARGB colour held in a real.
void drawButton(const std::string& label, ButtonAction action, int x, int y, int width,
                int height, double face);
void drawMainPanel();
// The button group and the level slider; runs the action under the pending click.
void drawButtons();

// The repeat indicator for repeatMode 0..5; "" for any other mode.
std::string repeatLabel();

}  // namespace korvane
