#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/window/font.h"
#include "app/window/korvane_icon.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "app/window/scripted_platform.h"

namespace korvane {
namespace {

constexpr std::uint32_t paper = rgb(0, 0, 100);
constexpr std::uint32_t ink = rgb(155, 255, 255);
constexpr std::uint32_t red = rgb(255, 0, 0);

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        installPlatform(&desk);
        desk.openWindow(64, 24);
        screen::setTextColours(ink, paper);
        screen::clear();
    }
    void TearDown() override { installPlatform(nullptr); }

    Framebuffer& pixels() { return desk.framebuffer(); }
    int count(std::uint32_t colour) {
        int n = 0;
        for (std::uint32_t p : pixels().pixels) n += p == colour;
        return n;
    }
    // True when the 8 x 8 cell at (x, y) shows the glyph of byte, ink on
    // background (or, for background 0, leaves the unlit pixels as they were).
    ::testing::AssertionResult showsGlyph(int x, int y, unsigned char byte, std::uint32_t fore, std::uint32_t back) {
        const std::uint8_t* rows = font::glyph(byte);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                std::uint32_t want = (rows[r] & (0x80 >> c)) ? fore : back;
                if (pixels().at(x + c, y + r) != want)
                    return ::testing::AssertionFailure() << "pixel (" << x + c << ", " << y + r << ") is " << std::hex
                                                         << pixels().at(x + c, y + r) << ", expected " << want;
            }
        return ::testing::AssertionSuccess();
    }

    ScriptedPlatform desk;
};

TEST_F(ScreenTest, PrintPutsEachByteInItsTextCell) {
    screen::placeCursor(2, 3);
    screen::print("Ag");
    EXPECT_TRUE(showsGlyph(16, 8, 'A', ink, paper));
    EXPECT_TRUE(showsGlyph(24, 8, 'g', ink, paper));
    // Everything else keeps the cleared background.
    EXPECT_EQ(count(ink) + count(paper), 64 * 24);
    screen::print("!");
    EXPECT_TRUE(showsGlyph(32, 8, '!', ink, paper));
}

TEST_F(ScreenTest, BytesOutsidePrintableAsciiShowAsQuestionMark) {
    screen::placeCursor(1, 1);
    screen::print(std::string("\x07\xC8\x7F", 3));
    for (int cell = 0; cell < 3; ++cell) EXPECT_TRUE(showsGlyph(cell * 8, 0, '?', ink, paper)) << "cell " << cell;
    EXPECT_NE(count(ink), 0);
}

TEST_F(ScreenTest, PrintClipsAtTheEdgeAndEndLineStartsTheNextRow) {
    screen::placeCursor(1, 7);  // cells at x 48 and 56 fit, the rest lies outside
    screen::print("HHHH");
    EXPECT_TRUE(showsGlyph(48, 0, 'H', ink, paper));
    EXPECT_TRUE(showsGlyph(56, 0, 'H', ink, paper));
    screen::endLine();
    screen::print("I");
    EXPECT_TRUE(showsGlyph(0, 8, 'I', ink, paper));

    screen::placeCursor(3, 1);
    screen::printLine("x");
    screen::print("y");  // row 4 lies below the 24-pixel window
    EXPECT_TRUE(showsGlyph(0, 16, 'x', ink, paper));
}

TEST_F(ScreenTest, DrawTextUsesOneColourAndKeepsTheBackground) {
    screen::drawText(10.4, 2.6, "W", red);  // rounded to (10, 3)
    EXPECT_TRUE(showsGlyph(10, 3, 'W', red, paper));
    screen::clear();
    screen::drawText(-4, 0, "MM", red);  // starts half outside
    EXPECT_EQ(pixels().at(1, 0), red);  // the right stem of the first "M"
    EXPECT_EQ(pixels().at(0, 0), paper);
    EXPECT_TRUE(showsGlyph(4, 0, 'M', red, paper));
}

TEST_F(ScreenTest, ClearFillsWithTheBackgroundAndHomesTheCursor) {
    screen::placeCursor(3, 5);
    screen::setTextColours(ink, red);
    screen::clear();
    EXPECT_EQ(count(red), 64 * 24);
    screen::print("T");
    EXPECT_TRUE(showsGlyph(0, 0, 'T', ink, red));
}

TEST_F(ScreenTest, BoxesIncludeBothCornersGivenInAnyOrder) {
    screen::drawBox(9, 7, 3, 2, red);
    EXPECT_EQ(pixels().at(3, 2), red);
    EXPECT_EQ(pixels().at(9, 7), red);
    EXPECT_EQ(pixels().at(3, 7), red);
    EXPECT_EQ(pixels().at(9, 2), red);
    EXPECT_EQ(pixels().at(5, 4), paper);  // inside an outline
    EXPECT_EQ(count(red), 2 * 7 + 2 * 4);

    screen::clear();
    screen::fillBox(2.6, 3.4, 0.5, 0.4, red);  // (3, 3) to (0, 0); 0.5 rounds to even
    EXPECT_EQ(count(red), 4 * 4);
    EXPECT_EQ(pixels().at(3, 3), red);
    EXPECT_EQ(pixels().at(4, 3), paper);
}

TEST_F(ScreenTest, BoxesReachingOutsideTheWindowAreClipped) {
    screen::fillBox(-1e9, 20, 1e12, 1e300, red);
    EXPECT_EQ(count(red), 64 * 4);
    screen::fillBox(100, 100, 200, 200, ink);  // wholly outside: nothing
    screen::fillBox(100, 5, 200, 10, ink);  // beside the window
    screen::fillBox(-20, 5, -3, 10, ink);
    EXPECT_EQ(count(ink), 0);
}

TEST_F(ScreenTest, LinesIncludeBothEndPointsInEveryDirection) {
    const double ends[][4] = {{2, 3, 12, 7}, {12, 7, 2, 3}, {5, 20, 9, 1}, {30, 4, 30, 4}, {40, 2, 50, 2}};
    for (const auto& e : ends) {
        screen::clear();
        screen::drawLine(e[0], e[1], e[2], e[3], red);
        EXPECT_EQ(pixels().at(static_cast<int>(e[0]), static_cast<int>(e[1])), red) << e[0] << "," << e[1];
        EXPECT_EQ(pixels().at(static_cast<int>(e[2]), static_cast<int>(e[3])), red) << e[2] << "," << e[3];
        const int dx = std::abs(static_cast<int>(e[2] - e[0])), dy = std::abs(static_cast<int>(e[3] - e[1]));
        EXPECT_EQ(count(red), std::max(dx, dy) + 1) << "one pixel per step of the longer axis";
    }
}

TEST_F(ScreenTest, LinesFarOutsideTheWindowDrawOnlyTheirVisiblePart) {
    screen::drawLine(-1e12, 10, 1e12, 10, red);
    EXPECT_EQ(count(red), 64);
    screen::clear();
    screen::drawLine(0, 0, 2e9, 1e9, red);  // slope 1/2 from the corner
    EXPECT_EQ(pixels().at(0, 0), red);
    EXPECT_EQ(pixels().at(40, 20), red);
    EXPECT_EQ(count(red), 47);  // x 0..46; from x 47 on, y is below the window
    screen::clear();
    screen::drawLine(0, 0, std::nan(""), 5, red);
    screen::drawLine(HUGE_VAL, 0, 5, 5, red);
    EXPECT_EQ(count(red), 0);
}

// The icon the window carries is drawn with the window's font and lines but
// off the window, and is the one the menu entry installs.
TEST_F(ScreenTest, TheWindowIconIsDrawnOffTheWindowAndIsTheMenuEntrysIcon) {
    screen::fillBox(0, 0, 63, 23, red);
    for (int scale : {1, 2}) {
        const std::string installed = KORVANE_ICON_DIR "/korvane-" + std::to_string(iconSize * scale) + ".png";
        Framebuffer menuIcon;
        ASSERT_TRUE(menuIcon.loadPng(installed)) << installed;
        const Framebuffer icon = korvaneIcon(scale);
        EXPECT_EQ(icon.width, menuIcon.width);
        EXPECT_TRUE(icon.pixels == menuIcon.pixels) << installed;
    }
    EXPECT_EQ(count(red), 64 * 24) << "the window keeps its pixels";
}

TEST_F(ScreenTest, ReadLineEchoesAndEditsUntilEnter) {
    screen::placeCursor(2, 2);
    desk.pushKey('1');
    desk.pushKey('2');
    desk.pushKey(key::Backspace);
    desk.pushKey(key::Delete);  // extended keys are not text
    desk.typeLine("3a");
    EXPECT_EQ(screen::readLine(), "13a");
    EXPECT_TRUE(showsGlyph(8, 8, '1', ink, paper));
    EXPECT_TRUE(showsGlyph(16, 8, '3', ink, paper));
    EXPECT_TRUE(showsGlyph(24, 8, 'a', ink, paper));
    EXPECT_TRUE(showsGlyph(32, 8, ' ', ink, paper)) << "the caret is gone";
    screen::print("n");  // the cursor went to the next row
    EXPECT_TRUE(showsGlyph(0, 16, 'n', ink, paper));
}

TEST_F(ScreenTest, ReadLineShowsTheEndOfATextTooLongForTheRoom) {
    screen::placeCursor(1, 5);  // columns 5..8: three characters and the caret
    desk.pushKey('a');
    desk.pushKey('b');
    desk.pushKey('c');
    desk.pushKey('d');
    desk.pushKey(key::Enter);
    EXPECT_EQ(screen::readLine(), "abcd");
    EXPECT_TRUE(showsGlyph(32, 0, 'b', ink, paper));
    EXPECT_TRUE(showsGlyph(48, 0, 'd', ink, paper));
}

TEST_F(ScreenTest, EscapeOrTheCloseRequestCancelReadLine) {
    desk.pushKey('7');
    desk.pushKey(key::Escape);
    desk.pushKey('8');
    desk.pushKey(key::CloseRequest);
    desk.pushKeyAt(2.0, '9');  // typed late: readLine waits for it
    desk.pushKeyAt(2.0, key::Enter);
    EXPECT_EQ(screen::readLine(), "");
    EXPECT_EQ(screen::readLine(), "");
    // The close request stays queued for the loop that will end on it.
    EXPECT_EQ(desk.readKey(), key::CloseRequest);
    EXPECT_EQ(screen::readLine(), "9");
    EXPECT_GE(desk.clock(), 2.0);
}

TEST_F(ScreenTest, SleepReturnsAtOnceWhenAKeyIsWaiting) {
    desk.pushKey('x');
    screen::sleep(300);
    EXPECT_EQ(desk.clock(), 0.0);
    EXPECT_EQ(desk.readKey(), 'x');
}

TEST_F(ScreenTest, SleepOver100MsEndsWithin50MsOfAKeyArriving) {
    desk.pushKeyAt(0.120, 'x');
    screen::sleep(300);
    EXPECT_GE(desk.clock(), 0.120);
    EXPECT_LE(desk.clock(), 0.170);

    const double start = desk.clock();
    desk.readKey();
    screen::sleep(300);  // no key: the whole time
    EXPECT_NEAR(desk.clock() - start, 0.300, 1e-9);
}

TEST_F(ScreenTest, SleepOf100MsOrLessIsNotCutShort) {
    desk.pushKeyAt(0.030, 'x');
    screen::sleep(100);
    EXPECT_NEAR(desk.clock(), 0.100, 1e-9);
}

TEST(ScriptedPlatform, TimedKeysArriveInTimeOrderAsTheClockAdvances) {
    ScriptedPlatform desk;
    std::vector<std::pair<double, double>> steps;
    desk.onTimeAdvance([&](double from, double to) { steps.emplace_back(from, to); });
    desk.pushKeyAt(0.5, 'b');
    desk.pushKeyAt(0.2, 'a');
    desk.pushKey('n');
    EXPECT_EQ(desk.readKey(), 'n');
    EXPECT_EQ(desk.readKey(), 0);
    desk.sleepMs(300);
    EXPECT_EQ(desk.readKey(), 'a');
    EXPECT_EQ(desk.readKey(), 0);
    desk.sleepMs(200);
    EXPECT_EQ(desk.readKey(), 'b');
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_DOUBLE_EQ(steps[1].first, 0.3);
    EXPECT_DOUBLE_EQ(steps[1].second, 0.5);
}

TEST(ScriptedPlatform, MouseReadingsAreUsedUpThenThePointerIsOutside) {
    ScriptedPlatform desk;
    desk.pushMouse({100, 30, 0, 1});
    MouseReading reading;
    EXPECT_TRUE(desk.readMouse(reading));
    EXPECT_EQ(reading.x, 100);
    EXPECT_EQ(reading.buttons, 1);
    EXPECT_FALSE(desk.readMouse(reading));
    EXPECT_EQ(reading.x, -1);
    EXPECT_EQ(reading.y, -1);
    EXPECT_EQ(reading.wheel, -1);
    EXPECT_EQ(reading.buttons, -1);
}

TEST(ScriptedPlatform, RandomNumbersRepeatForASeedAndStayBelowOne) {
    ScriptedPlatform a, b;
    a.seedRandom(42);
    b.seedRandom(42);
    for (int i = 0; i < 1000; ++i) {
        const double value = a.random();
        EXPECT_EQ(value, b.random());
        EXPECT_GE(value, 0.0);
        EXPECT_LT(value, 1.0);
    }
}

}  // namespace
}  // namespace korvane
