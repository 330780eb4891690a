// The main loop: what ends it, the one-key commands with their extended-key
// twins, the speed prompt, the playlist's window switch and the clock text.
#include "shell_support.h"

namespace korvane {
namespace {

class LoopTest : public ShellTest {
protected:
    // Runs the loop over the given keys, then a Space that ends it.
    void runKeys(std::initializer_list<int> keys) {
        for (int code : keys) desk.pushKey(code);
        desk.pushKey(key::Space);
        keyCode = 0;
        mainLoop();
    }
};

TEST_F(LoopTest, SpaceEscapeAndTheCloseRequestEndThePassThatReadThem) {
    for (int code : {key::Space, key::Escape, key::CloseRequest}) {
        const double start = desk.clock();
        keyCode = 0;
        desk.pushKey(code);
        mainLoop();
        EXPECT_NEAR(desk.clock() - start, 0.4, 1e-9) << code;
    }
}

TEST_F(LoopTest, QuitButtonEndsTheLoop) {
    desk.pushMouse(click(120, 30));
    keyCode = 0;
    mainLoop();
    EXPECT_EQ(keyCode, key::Escape);
}

TEST_F(LoopTest, ExtendedKeysWithoutACommandActAsTheirScanCodeLetter) {
    runKeys({key::Home});
    EXPECT_EQ(equalizerOn, 1);
    desk.pushKey(key::Delete);
    desk.typeLine("90");
    runKeys({});
    EXPECT_EQ(speed, 90.0f);
    runKeys({'G', 'g', 'G'});
    EXPECT_EQ(equalizerOn, 0);
}

TEST_F(LoopTest, SpeedPromptLimitsTheValueAndIgnoresTinyOnes) {
    const struct {
        const char* typed;
        float speed;
    } cases[] = {{"79", 80.0f}, {"150", 100.0f}, {"95", 95.0f}, {"0", 95.0f},
                 {"text", 95.0f}, {"0.0005", 95.0f}, {"", 95.0f}, {"85.25", 85.25f}};
    for (const auto& c : cases) {
        desk.pushKey('s');
        desk.typeLine(c.typed);
        runKeys({});
        EXPECT_EQ(speed, c.speed) << c.typed;
    }
}

TEST_F(LoopTest, ModeKeysCycleAndTheEditorKeyWaitsForTheEqualizer) {
    runKeys({'a', 'A', 'a'});
    EXPECT_EQ(autovolMode, 3);
    runKeys({'a', 'a', 'a', 'a'});
    EXPECT_EQ(autovolMode, 0);
    runKeys({'r', 'R', 'r', 'r', 'r'});
    EXPECT_EQ(reverbMode, 1);
    runKeys({'e', 't'});
    EXPECT_EQ(equalizerOn, 0);
    EXPECT_EQ(reverbMode, 1);
}

TEST_F(LoopTest, CommandsRunWithPlayingClearedAndRestoreIt) {
    playing = 1;
    int seenDuringPrompt = -1;
    desk.onTimeAdvance([&](double, double) {
        if (keyText == "s") seenDuringPrompt = playing;
    });
    desk.pushKey('s');
    desk.pushKeyAt(1.0, key::Enter);
    desk.pushKeyAt(2.0, key::Space);
    mainLoop();
    EXPECT_EQ(seenDuringPrompt, 0);
    EXPECT_EQ(playing, 1);
}

TEST_F(LoopTest, MidiKeyAndItsExtendedTwinOpenTheDevicePrompt) {
    midi.outputs = 2;
    desk.pushKey(key::End);
    desk.typeLine("2");
    runKeys({});
    EXPECT_EQ(midiDevice, 2);
    EXPECT_EQ(midi.opened, std::vector<int>{1});
}

TEST_F(LoopTest, ClicksOnTheTitleOrLabelAndRightClicksOpenThePlaylistWindow) {
    desk.setDesktop({1920, 1080, 24});
    desk.setWindowPosition({1700, 900});
    ScreenPoint panelPosition{};
    desk.onTimeAdvance([&](double, double) {
        if (desk.framebuffer().width == 500) panelPosition = desk.windowPosition();
    });
    for (const MouseReading& reading : {click(50, 5), click(260, 75), click(10, 60, 2)}) {
        const std::size_t windows = desk.openedWindows().size();
        desk.pushMouse(reading);
        desk.pushKeyAt(desk.clock() + 1.0, key::Escape);  // leaves the playlist
        desk.pushKeyAt(desk.clock() + 3.0, key::Space);
        keyCode = 0;
        mainLoop();
        ASSERT_EQ(desk.openedWindows().size(), windows + 2) << reading.x << "," << reading.y;
        EXPECT_EQ(desk.openedWindows()[windows].width, 500);
        EXPECT_EQ(desk.openedWindows()[windows].height, 400);
        EXPECT_EQ(desk.openedWindows()[windows + 1].width, mainWindowWidth);
        EXPECT_EQ(panelPosition.x, 1920 - 508);
        EXPECT_EQ(panelPosition.y, 1080 - 472);
        EXPECT_EQ(desk.windowPosition().x, 1700);
        EXPECT_EQ(desk.windowPosition().y, 900);
    }
}

TEST(ClockText, ShowsMinutesAndSecondsWithTwoDigitsAtLeast) {
    EXPECT_EQ(clockText(59.9), "00:59");
    EXPECT_EQ(clockText(60.0), "01:00");
    EXPECT_EQ(clockText(187.5), "03:07");
    EXPECT_EQ(clockText(125 * 60.0), "125:00");
}

}  // namespace
}  // namespace korvane
