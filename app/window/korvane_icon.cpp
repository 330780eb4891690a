#include "app/window/korvane_icon.h"

#include <algorithm>

#include "app/window/screen.h"

namespace korvane {

namespace {

constexpr std::uint32_t progressColour = rgb(0, 255, 0);
constexpr std::uint32_t barColour = rgb(0, 100, 200);
constexpr std::uint32_t peakyBarColour = rgb(0, 250, 0);
constexpr std::uint32_t peakLineColour = rgb(200, 0, 0);

void drawIcon() {
    screen::fillBox(0, 0, iconSize - 1, iconSize - 1, panelBackground);
    screen::fillBox(0, 0, iconSize - 1, 9, titleBarColour);
    screen::drawText(1, 1, "k", defaultForeground);
    screen::fillBox(11, 4, 29, 5, progressColour);
    // Ten two-pixel bars standing on the bottom row: the heights of a
    // chord's three notes and the low level of the rest.
    const int heights[] = {3, 5, 16, 4, 2, 19, 3, 5, 13, 2};
    for (int i = 0; i < 10; ++i) {
        const int left = 1 + 3 * i;
        const std::uint32_t colour = heights[i] > 10 ? peakyBarColour : barColour;
        screen::fillBox(left, iconSize - heights[i], left + 1, iconSize - 1, colour);
    }
    screen::drawLine(0, 22, iconSize - 1, 22, peakLineColour);
}

}  // namespace

Framebuffer korvaneIcon(int scale) {
    scale = std::max(scale, 1);
    Framebuffer drawing;
    drawing.resize(iconSize, iconSize);
    {
        const screen::DrawingOn onIcon(drawing);
        drawIcon();
    }
    if (scale == 1) return drawing;
    Framebuffer scaled;
    scaled.resize(iconSize * scale, iconSize * scale);
    for (int y = 0; y < scaled.height; ++y)
        for (int x = 0; x < scaled.width; ++x) scaled.set(x, y, drawing.at(x / scale, y / scale));
    return scaled;
}

}  // namespace korvane
