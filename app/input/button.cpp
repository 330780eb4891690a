#include "app/input/button.h"

#include <cmath>
#include <cstdint>

#include "app/input/input_state.h"
#include "app/window/screen.h"

namespace korvane {

namespace {

constexpr std::uint32_t black = rgb(0, 0, 0);
constexpr std::uint32_t labelColour = rgb(120, 0, 0);
constexpr std::uint32_t pressedLabelColour = rgb(200, 200, 200);

std::uint32_t colourOf(double face) {
    if (!(face > 0.0)) return 0;
    if (face >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<std::uint32_t>(std::nearbyint(face));
}

}  // namespace

void drawButton(const std::string& label, ButtonAction action, int x, int y, int width,
                int height, double face) {
    screen::fillBox(x, y, x + width, y + height, colourOf(face));
    screen::drawBox(x, y, x + width, y + height, black);
    const double labelX = x + (width + 1 - 8.0 * static_cast<double>(label.size())) / 2;
    const double labelY = y + (height - 8) / 2.0;
    screen::drawText(labelX, labelY, label, labelColour);
    if (clickInside(x, y, x + width, y + height)) {
        screen::drawText(labelX, labelY, label, pressedLabelColour);
        action();
        screen::drawText(labelX, labelY, label, labelColour);
    }
}

}  // namespace korvane
