// Reading text back from the window: what a person sees in a row of text
// cells, for the tests of every panel.
#pragma once

#include <cstdint>
#include <string>

#include "app/window/font.h"
#include "app/window/platform.h"
#include "app/window/screen.h"

namespace korvane {

// The text in count cells from (row, column): each cell read as the
// printable character whose glyph its pixels of the given colour draw, "#"
// for a cell that shows none.
inline std::string shownText(int row, int column, int count, std::uint32_t colour = defaultForeground) {
    const Framebuffer& pixels = platform().framebuffer();
    std::string text;
    for (int cell = 0; cell < count; ++cell) {
        const int x0 = (column - 1 + cell) * font::cellSize;
        const int y0 = (row - 1) * font::cellSize;
        char found = '#';
        for (int byte = 32; byte < 127 && found == '#'; ++byte) {
            const std::uint8_t* rows = font::glyph(static_cast<unsigned char>(byte));
            bool same = true;
            for (int dy = 0; dy < font::cellSize && same; ++dy)
                for (int dx = 0; dx < font::cellSize && same; ++dx)
                    same = ((rows[dy] & (0x80u >> dx)) != 0) == (pixels.at(x0 + dx, y0 + dy) == colour);
            if (same) found = static_cast<char>(byte);
        }
        text += found;
    }
    return text;
}

}  // namespace korvane
