// Drawing and text services on the current window, shared by every panel.
//
// Pixel coordinates are window pixels from the top-left corner; real
// coordinates are rounded to the nearest pixel. Text cells are 8 x 8 pixels,
// rows and columns counted from 1: row r, column k starts at pixel
// ((k - 1) x 8, (r - 1) x 8). Bytes the font cannot draw show as "?".
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/window/platform.h"

namespace korvane {

// The main window and the colours every panel shares.
constexpr int mainWindowWidth = 344;
constexpr int mainWindowHeight = 93;
constexpr std::uint32_t defaultForeground = rgb(155, 255, 255);
constexpr std::uint32_t panelBackground = rgb(0, 0, 100);
constexpr std::uint32_t titleBarColour = rgb(0, 50, 100);
constexpr std::uint32_t hoverColour = rgb(255, 255, 0);

}  // namespace korvane

namespace korvane::screen {

void setTextColours(std::uint32_t foreground, std::uint32_t background);
std::uint32_t foreground();
std::uint32_t background();

// Fills the window with the background colour; cursor to row 1, column 1.
void clear();
void placeCursor(int row, int column);
// Text at the cursor in the text colours; the cursor moves on.
void print(std::string_view text);
// Cursor to column 1 of the next row.
void endLine();
void printLine(std::string_view text);
// The cursor placed, then print or printLine.
void printAt(int row, int column, std::string_view text);
void printLineAt(int row, int column, std::string_view text);

// One colour, no background.
void drawText(double x, double y, std::string_view text, std::uint32_t colour);
void drawLine(double x1, double y1, double x2, double y2, std::uint32_t colour);
// Both corners included.
void drawBox(double x1, double y1, double x2, double y2, std::uint32_t colour);
void fillBox(double x1, double y1, double x2, double y2, std::uint32_t colour);

// While one lives, clear, the prints and the drawing functions above draw on
// the given pixels instead of the window, so that a picture (korvane's icon)
// is drawn with the window's own font and lines. The last one made wins.
class DrawingOn {
public:
    explicit DrawingOn(Framebuffer& pixels);
    ~DrawingOn();
    DrawingOn(const DrawingOn&) = delete;
    DrawingOn& operator=(const DrawingOn&) = delete;

private:
    Framebuffer* previous_;
};

// A line typed on the keyboard, echoed at the cursor, Backspace edits,
// ended by Enter (not included). Escape or the close request cancel it:
// the result is then empty, and the close request stays in the queue.
std::string readLine();

// The shell's sleep: returns at once when a key is waiting as it starts;
// a sleep longer than 100 ms tests again every 50 ms and ends when a key arrives.
void sleep(int milliseconds);

}  // namespace korvane::screen
