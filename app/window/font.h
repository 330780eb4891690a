// The window's 8 x 8 font: printable ASCII (32..126), designed for korvane.
#pragma once

#include <cstdint>

namespace korvane::font {

constexpr int cellSize = 8;

// Eight rows, top first; bit 7 of a row is its leftmost pixel. Bytes outside
// 32..126 get the glyph of "?".
const std::uint8_t* glyph(unsigned char byte);

}  // namespace korvane::font
