// The main panel: button edges, the level slider, the repeat button, the
// labels chosen by state, and a pixel snapshot of the whole panel.
#include <cstdlib>

#include "app/input/button.h"
#include "app/input/input_state.h"
#include "app/main_panel.h"
#include "shell_support.h"

namespace korvane {
namespace {

using PanelTest = ShellTest;

void clickAt(int x, int y) {
    clickPending = 1;
    clickX = x;
    clickY = y;
    drawButtons();
    clickPending = 0;
}

// The pixels of a rectangle, both corners included.
std::vector<std::uint32_t> region(int x1, int y1, int x2, int y2) {
    std::vector<std::uint32_t> pixels;
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) pixels.push_back(platform().framebuffer().at(x, y));
    return pixels;
}

TEST_F(PanelTest, QuitButtonRunsOnItsEdgesAndNotBeyond) {
    for (const auto& [x, y] : {std::pair{100, 30}, {140, 30}, {120, 24}, {120, 39}}) {
        keyCode = 0;
        playing = 1;
        clickAt(x, y);
        EXPECT_EQ(keyCode, key::Escape) << x << "," << y;
        EXPECT_EQ(playing, 0);
    }
    for (const auto& [x, y] : {std::pair{141, 30}, {120, 40}, {99, 30}}) {
        keyCode = 0;
        clickAt(x, y);
        EXPECT_EQ(keyCode, 0) << x << "," << y;
    }
}

TEST_F(PanelTest, SliderSetsTheLevelFromTheClickedColumn) {
    clickAt(257, 48);
    EXPECT_FLOAT_EQ(volume, 0.034f);
    clickAt(299, 48);
    EXPECT_FLOAT_EQ(volume, 0.85f);
    clickAt(341, 53);
    EXPECT_FLOAT_EQ(volume, 1.7f);
    clickAt(342, 48);
    clickAt(300, 43);
    EXPECT_FLOAT_EQ(volume, 1.7f) << "clicks beside the slider";
}

TEST_F(PanelTest, RepeatButtonWalksTheSixModesAndMarksTheRange) {
    currentIndex = 2;
    const char* expected[] = {"repeat=1", "rep 3->", "rep 3->3", "repeat=rnd", "play once", "repeat all"};
    for (const char* label : expected) {
        redrawRequested = 0;
        clickAt(210, 50);
        EXPECT_EQ(repeatLabel(), label);
        EXPECT_EQ(redrawRequested, 1);
    }
    repeatMode = 3;
    repeatFrom = 2;
    repeatTo = 5;
    EXPECT_EQ(repeatLabel(), "rep 3->6");
}

TEST_F(PanelTest, FourthButtonReadsPlayWhileStopped) {
    stopped = 1;
    drawMainPanel();
    const auto drawn = region(200, 24, 251, 39);
    screen::clear();
    drawButton("play", [] {}, 200, 24, 51, 15, static_cast<double>(rgb(150, 150, 150)));
    EXPECT_EQ(drawn, region(200, 24, 251, 39));
}

TEST_F(PanelTest, DrawingKeepsTheReverbModeAndSkipsUnknownLabels) {
    reverbMode = 2;
    repeatMode = 4;
    drawMainPanel();
    EXPECT_EQ(reverbMode, 2);
    const auto repeatShown = region(0, 48, 100, 55);
    const auto autovolRow = region(0, 80, 150, 87);
    repeatMode = 17;
    autovolMode = 7;
    drawMainPanel();
    EXPECT_EQ(region(0, 48, 100, 55), repeatShown) << "an unknown mode keeps the last text";
    EXPECT_NE(region(0, 80, 150, 87), autovolRow);
    EXPECT_EQ(region(0, 80, 150, 87), std::vector<std::uint32_t>(151 * 8, panelBackground));
}

TEST_F(PanelTest, MainPanelMatchesTheReferenceImage) {
    trackTitle = "3.music/Demo Band - Demo Track.mp3";
    lengthText = "3:35";
    trackLength = 215.0f;
    bitRate = 128300.0f;
    equalizerOn = 1;
    autovolMode = 2;
    repeatMode = 3;
    repeatFrom = 1;
    repeatTo = 4;
    volume = 0.85f;
    startTime = -125.0;  // one pass of the loop later: 02:05
    drawMainPanel();
    desk.pushKey(key::Space);
    mainLoop();

    const std::string reference = std::string(KORVANE_REFERENCE_DIR) + "/main_panel.png";
    const Framebuffer& actual = platform().framebuffer();
    if (std::getenv("KORVANE_UPDATE_REFERENCE") != nullptr) {
        ASSERT_TRUE(actual.savePng(reference));
    }
    Framebuffer expected;
    ASSERT_TRUE(expected.loadPng(reference)) << reference;
    const bool same = expected.width == actual.width && expected.height == actual.height &&
                      expected.pixels == actual.pixels;
    if (!same) {
        const std::string saved = std::string(KORVANE_ACTUAL_DIR) + "/main_panel.actual.png";
        actual.savePng(saved);
        FAIL() << "the panel differs from " << reference << "; drawn: " << saved
               << " (KORVANE_UPDATE_REFERENCE=1 rewrites the reference)";
    }
}

}  // namespace
}  // namespace korvane
