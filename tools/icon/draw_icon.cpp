// korvane-icon: draws korvane's desktop icon with the window's own font and
// drawing, in its colours: the title bar with a "k", the green progress bar
// and the toMidi panel's note bars, blue with green peaks under the red
// peak line. Writes, into the folder given:
//   korvane-32.png .. korvane-256.png  the 32 x 32 drawing at 1, 2, 4 and 8
//                                      times, every pixel a square block
//   korvane.svg                        the same pixels as squares
// scripts/make-icon.sh runs it into data/icons/.
#include <cstdio>
#include <fstream>
#include <string>

#include "app/main_panel.h"
#include "app/window/scripted_platform.h"
#include "app/window/screen.h"

namespace {

using namespace korvane;

constexpr int iconSize = 32;
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

bool savePng(const Framebuffer& drawing, int scale, const std::string& path) {
    Framebuffer scaled;
    scaled.resize(drawing.width * scale, drawing.height * scale);
    for (int y = 0; y < scaled.height; ++y)
        for (int x = 0; x < scaled.width; ++x) scaled.set(x, y, drawing.at(x / scale, y / scale));
    return scaled.savePng(path);
}

// One rectangle per run of equal pixels along a row; crisp edges keep the
// squares sharp at any size.
bool saveSvg(const Framebuffer& drawing, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << drawing.width << "\" height=\""
        << drawing.height << "\" viewBox=\"0 0 " << drawing.width << ' ' << drawing.height
        << "\" shape-rendering=\"crispEdges\">\n";
    for (int y = 0; y < drawing.height; ++y) {
        int x = 0;
        while (x < drawing.width) {
            const std::uint32_t colour = drawing.at(x, y);
            int end = x + 1;
            while (end < drawing.width && drawing.at(end, y) == colour) ++end;
            char fill[8];
            std::snprintf(fill, sizeof fill, "#%06x", static_cast<unsigned>(colour & 0xFFFFFFu));
            out << "<rect x=\"" << x << "\" y=\"" << y << "\" width=\"" << end - x << "\" height=\"1\" fill=\""
                << fill << "\"/>\n";
            x = end;
        }
    }
    out << "</svg>\n";
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: korvane-icon FOLDER\n", stderr);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    ScriptedPlatform desk;
    installPlatform(&desk);
    desk.openWindow(iconSize, iconSize);
    drawIcon();
    const Framebuffer& drawing = desk.framebuffer();
    bool written = saveSvg(drawing, folder + "korvane.svg");
    for (int scale : {1, 2, 4, 8})
        written = savePng(drawing, scale, folder + "korvane-" + std::to_string(iconSize * scale) + ".png") && written;
    if (!written) {
        std::fprintf(stderr, "korvane-icon: cannot write the icons into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
