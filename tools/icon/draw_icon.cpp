// korvane-icon: writes korvane's desktop icon (app/window/korvane_icon.h,
// the drawing the window shows too) into the folder given:
//   korvane-32.png .. korvane-256.png  the 32 x 32 drawing at 1, 2, 4 and 8
//                                      times, every pixel a square block
//   korvane.svg                        the same pixels as squares
// scripts/make-icon.sh runs it into data/icons/.
#include <cstdio>
#include <fstream>
#include <string>

#include "app/window/korvane_icon.h"

namespace {

using namespace korvane;

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
    bool written = saveSvg(korvaneIcon(), folder + "korvane.svg");
    for (int scale : {1, 2, 4, 8})
        written = korvaneIcon(scale).savePng(folder + "korvane-" + std::to_string(iconSize * scale) + ".png") &&
                  written;
    if (!written) {
        std::fprintf(stderr, "korvane-icon: cannot write the icons into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
