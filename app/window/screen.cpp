#include "app/window/screen.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "app/text/number_text.h"
#include "app/window/font.h"
#include "app/window/platform.h"

namespace korvane::screen {

namespace {

std::uint32_t textForeground = rgb(255, 255, 255);
std::uint32_t textBackground = rgb(0, 0, 0);
int cursorRow = 1;
int cursorColumn = 1;
// Where drawing goes instead of the window while a DrawingOn lives.
Framebuffer* drawingTarget = nullptr;

// Longest line readLine keeps; further characters are ignored.
constexpr std::size_t maxLineLength = 1024;
// readLine polls the keyboard this often while no key waits.
constexpr int keyPollMs = 10;
// Lines are clipped to this square before they are walked, so that their
// coordinate products stay far inside 64 bits.
constexpr double lineLimit = 1 << 20;

Framebuffer& target() { return drawingTarget != nullptr ? *drawingTarget : platform().framebuffer(); }

int cellStart(int column) {
    return static_cast<int>(std::clamp((static_cast<long long>(column) - 1) * font::cellSize,
                                       static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

// One cell at pixel (x, y); the background is filled only when given.
void drawCell(Framebuffer& pixels, int x, int y, unsigned char byte, std::uint32_t colour, const std::uint32_t* fill) {
    if (x >= pixels.width || y >= pixels.height || x <= -font::cellSize || y <= -font::cellSize) return;
    const std::uint8_t* rows = font::glyph(byte);
    for (int row = 0; row < font::cellSize; ++row) {
        for (int column = 0; column < font::cellSize; ++column) {
            bool on = (rows[row] & (0x80u >> column)) != 0;
            if (on)
                pixels.set(x + column, y + row, colour);
            else if (fill)
                pixels.set(x + column, y + row, *fill);
        }
    }
}

// Cells of text from (row, column) in the text colours; the cursor is not moved.
void printCells(int row, int column, std::string_view text) {
    Framebuffer& pixels = target();
    const int y = cellStart(row);
    for (unsigned char byte : text) {
        const int x = cellStart(column);
        if (x >= pixels.width) break;
        drawCell(pixels, x, y, byte, textForeground, &textBackground);
        if (column == INT_MAX) break;
        ++column;
    }
}

void fillPixels(Framebuffer& pixels, int x1, int y1, int x2, int y2, std::uint32_t colour) {
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), pixels.width - 1);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), pixels.height - 1);
    if (left > right) return;
    for (int y = top; y <= bottom; ++y)
        std::fill_n(pixels.pixels.begin() + static_cast<std::ptrdiff_t>(y) * pixels.width + left, right - left + 1,
                    colour);
}

// Keeps the part of the segment inside the square |x|, |y| <= lineLimit.
// False when nothing of it is inside.
bool clipToLimit(double& x1, double& y1, double& x2, double& y2) {
    double from = 0, to = 1;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 + lineLimit, lineLimit - x1, y1 + lineLimit, lineLimit - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            from = std::max(from, t);
        else
            to = std::min(to, t);
    }
    if (from > to) return false;
    const double sx = x1, sy = y1;
    x1 = sx + from * dx;
    y1 = sy + from * dy;
    x2 = sx + to * dx;
    y2 = sy + to * dy;
    return true;
}

}  // namespace

void setTextColours(std::uint32_t foregroundColour, std::uint32_t backgroundColour) {
    textForeground = foregroundColour;
    textBackground = backgroundColour;
}

std::uint32_t foreground() {
    return textForeground;
}

std::uint32_t background() {
    return textBackground;
}

void clear() {
    Framebuffer& pixels = target();
    std::fill(pixels.pixels.begin(), pixels.pixels.end(), textBackground);
    cursorRow = 1;
    cursorColumn = 1;
}

void placeCursor(int row, int column) {
    cursorRow = row;
    cursorColumn = column;
}

void print(std::string_view text) {
    printCells(cursorRow, cursorColumn, text);
    cursorColumn = static_cast<int>(std::min(static_cast<long long>(cursorColumn) + static_cast<long long>(text.size()),
                                             static_cast<long long>(INT_MAX)));
}

void endLine() {
    if (cursorRow < INT_MAX) ++cursorRow;
    cursorColumn = 1;
}

void printLine(std::string_view text) {
    print(text);
    endLine();
}

void printAt(int row, int column, std::string_view text) {
    placeCursor(row, column);
    print(text);
}

void printLineAt(int row, int column, std::string_view text) {
    placeCursor(row, column);
    printLine(text);
}

void drawText(double x, double y, std::string_view text, std::uint32_t colour) {
    Framebuffer& pixels = target();
    long long left = roundToInt(x);
    const int top = roundToInt(y);
    for (unsigned char byte : text) {
        if (left >= pixels.width) break;
        if (left > -font::cellSize) drawCell(pixels, static_cast<int>(left), top, byte, colour, nullptr);
        left += font::cellSize;
    }
}

// Bresenham's line with both end points, walked only along the part of its
// long axis that lies inside the window: pixel i of the walk has the long
// coordinate start + i and the short one start + i * shortLength / longLength
// rounded half up.
void drawLine(double x1, double y1, double x2, double y2, std::uint32_t colour) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) return;
    if (!clipToLimit(x1, y1, x2, y2)) return;
    Framebuffer& pixels = target();
    const long long ax = roundToInt(x1), ay = roundToInt(y1), bx = roundToInt(x2), by = roundToInt(y2);
    const long long dx = bx - ax, dy = by - ay;
    const bool xLong = std::llabs(dx) >= std::llabs(dy);
    const long long longStart = xLong ? ax : ay, shortStart = xLong ? ay : ax;
    const long long longStep = (xLong ? dx : dy) >= 0 ? 1 : -1, shortStep = (xLong ? dy : dx) >= 0 ? 1 : -1;
    const long long longLength = std::llabs(xLong ? dx : dy), shortLength = std::llabs(xLong ? dy : dx);
    const long long longSize = xLong ? pixels.width : pixels.height;

    // Steps i whose long coordinate lies in 0 .. longSize - 1.
    long long firstStep = longStep > 0 ? -longStart : longStart - (longSize - 1);
    long long lastStep = longStep > 0 ? longSize - 1 - longStart : longStart;
    firstStep = std::max(firstStep, 0LL);
    lastStep = std::min(lastStep, longLength);
    for (long long i = firstStep; i <= lastStep; ++i) {
        const long long along = longStart + i * longStep;
        const long long across = longLength == 0
                                     ? shortStart
                                     : shortStart + shortStep * ((2 * i * shortLength + longLength) / (2 * longLength));
        if (xLong)
            pixels.set(static_cast<int>(along), static_cast<int>(across), colour);
        else
            pixels.set(static_cast<int>(across), static_cast<int>(along), colour);
    }
}

void drawBox(double x1, double y1, double x2, double y2, std::uint32_t colour) {
    Framebuffer& pixels = target();
    const int ax = roundToInt(x1), ay = roundToInt(y1), bx = roundToInt(x2), by = roundToInt(y2);
    fillPixels(pixels, ax, ay, bx, ay, colour);
    fillPixels(pixels, ax, by, bx, by, colour);
    fillPixels(pixels, ax, ay, ax, by, colour);
    fillPixels(pixels, bx, ay, bx, by, colour);
}

void fillBox(double x1, double y1, double x2, double y2, std::uint32_t colour) {
    fillPixels(target(), roundToInt(x1), roundToInt(y1), roundToInt(x2), roundToInt(y2), colour);
}

DrawingOn::DrawingOn(Framebuffer& pixels) : previous_(drawingTarget) { drawingTarget = &pixels; }

DrawingOn::~DrawingOn() { drawingTarget = previous_; }

// The typed text is echoed from the cursor to the window's right edge, with
// a "_" caret after it; a text too long for that room shows its end.
std::string readLine() {
    Platform& desk = platform();
    const int row = cursorRow;
    const int startColumn = cursorColumn;
    const long long room = static_cast<long long>(desk.framebuffer().width / font::cellSize) - startColumn;
    std::string line;
    std::size_t shownCells = 0;

    auto echo = [&](bool caret) {
        std::string cells;
        if (room > 0) {
            const std::size_t fits = static_cast<std::size_t>(room);  // one cell stays for the caret
            cells = line.size() > fits ? line.substr(line.size() - fits) : line;
            if (caret) cells += '_';
        }
        const std::size_t drawn = cells.size();
        if (cells.size() < shownCells) cells.append(shownCells - cells.size(), ' ');
        printCells(row, startColumn, cells);
        shownCells = drawn;
    };

    echo(true);
    for (;;) {
        const int code = desk.readKey();
        if (code == 0) {
            desk.sleepMs(keyPollMs);
            continue;
        }
        if (code == key::Enter || code == key::Escape || code == key::CloseRequest) {
            echo(false);
            cursorRow = row;
            endLine();
            if (code != key::Enter) line.clear();
            // The close request still ends the panel or program that asked.
            if (code == key::CloseRequest) desk.returnKey(code);
            return line;
        }
        if (code == key::Backspace) {
            if (!line.empty()) line.pop_back();
        } else if (code >= 32 && code <= 255 && code != 127) {
            if (line.size() < maxLineLength) line.push_back(static_cast<char>(code));
        } else {
            continue;
        }
        echo(true);
    }
}

void sleep(int milliseconds) {
    Platform& desk = platform();
    if (milliseconds <= 0 || desk.keyWaiting()) return;
    if (milliseconds <= 100) {
        desk.sleepMs(milliseconds);
        return;
    }
    constexpr int checkEveryMs = 50;
    for (int left = milliseconds; left > 0; left -= checkEveryMs) {
        desk.sleepMs(std::min(left, checkEveryMs));
        if (desk.keyWaiting()) return;
    }
}

}  // namespace korvane::screen
