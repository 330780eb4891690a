// The toMidi panel: entering and its header, every key's ladder and wrap
// with the label it draws, the redraw timing, the plots held in view, the
// cpu figure's colour, leaving on an unhandled key, and the main loop's M
// and F9; playback keys with the engine on its host-driven output.
#include <algorithm>

#include "tomidi_support.h"

namespace korvane {
namespace {

constexpr std::uint32_t alarmColour = 0xFFFA1414;

class PanelTest : public ToMidiTest {
protected:
    // Runs the panel with the keys pressed 0.2 s apart, then Escape.
    void runPanel(std::initializer_list<int> keys, double after = 0.3) {
        double t = desk.clock() + 0.05;
        for (int code : keys) {
            desk.pushKeyAt(t, code);
            t += 0.2;
        }
        desk.pushKeyAt(t + after, key::Escape);
        runToMidi();
    }
};

TEST_F(PanelTest, EnteringDrawsTheHeader) {
    desk.pushKeyAt(desk.clock() + 0.01, key::Escape);
    runToMidi();
    EXPECT_EQ(shownText(1, 1, 12), "[O]midiout0 ");
    EXPECT_EQ(shownText(1, 17, 9), "vol=0.2  ");
    EXPECT_EQ(shownText(1, 28, 8), "[B]-[N]+");
    EXPECT_EQ(shownText(2, 1, 9), "aux=0    ");
    EXPECT_EQ(shownText(2, 28, 7), "[P]Stop");
    EXPECT_FLOAT_EQ(kz0, 1.0f);
}

TEST_F(PanelTest, ExponentKeysClimbAndWrapTheLadder) {
    const struct {
        float from;
        int key;
        float to;
        const char* label;
    } cases[] = {{4, 'w', 5, "[Q][W]sin^5 "},   {10, 'W', 12, "[Q][W]sin^12"}, {20, 'w', 25, "[Q][W]sin^25"},
                 {60, 'w', 0, "[Q][W]sin^0 "},  {0, 'q', 60, "[Q][W]sin^60"},  {25, 'Q', 20, "[Q][W]sin^20"},
                 {12, 'q', 10, "[Q][W]sin^10"}, {5, 'q', 4, "[Q][W]sin^4 "},   {3.75f, 'w', 4, "[Q][W]sin^4 "}};
    for (const auto& c : cases) {
        toMidiSettings.sinExponent = c.from;
        runPanel({c.key});
        EXPECT_EQ(toMidiSettings.sinExponent, c.to) << c.from;
        EXPECT_EQ(shownText(7, 28, 12), c.label) << "the kernel plot is still shown";
    }
    toMidiSettings.sinExponent = 1.75f;
    runPanel({'w'});
    EXPECT_EQ(kernelTable.scaleB, 60) << "the kernel rebuilt for 2";
}

TEST_F(PanelTest, WindowKeysStepByATenthWithinTheirRange) {
    const struct {
        float from;
        int key;
        float to;
        const char* label;
    } cases[] = {{1.9f, 'd', 1.9f, "[S][D]n1.9"}, {0.3f, 's', 0.3f, "[S][D]n0.3"}, {0.7f, 's', 0.6f, "[S][D]n0.6"},
                 {0.7f, 'D', 0.8f, "[S][D]n0.8"}, {1.0f, 'd', 1.1f, "[S][D]n1.1"}, {1.1f, 's', 1.0f, "[S][D]n1.0"}};
    for (const auto& c : cases) {
        toMidiSettings.windowFactor = c.from;
        runPanel({c.key});
        EXPECT_FLOAT_EQ(toMidiSettings.windowFactor, c.to) << c.from;
        EXPECT_EQ(shownText(8, 28, 10), c.label) << c.from;
        EXPECT_EQ(noteRows[33].windowLength, std::lround(c.to * 2400000.0f / 440.0f)) << c.from;
    }
}

TEST_F(PanelTest, CpuKeysStepBy600AndWrapAround) {
    const struct {
        int from;
        int key;
        int to;
        const char* label;
    } cases[] = {{12000, 'c', 1200, "[X][C]cpu10  "}, {1200, 'x', 12000, "[X][C]cpu100 "},
                 {4800, 'C', 5400, "[X][C]cpu45  "},  {4900, 'x', 4200, "[X][C]cpu35  "}};
    for (const auto& c : cases) {
        toMidiSettings.cpu = c.from;
        runPanel({c.key});
        EXPECT_EQ(toMidiSettings.cpu, c.to) << c.from;
        EXPECT_EQ(shownText(6, 28, 13), c.label) << c.from;
    }
}

TEST_F(PanelTest, HarmonicKeysWrapAndShowTheWeights) {
    toMidiSettings.harmo = 10;
    runPanel({'h'});
    EXPECT_EQ(toMidiSettings.harmo, 0);
    EXPECT_EQ(shownText(5, 28, 12), "[G][H]noharm");
    EXPECT_EQ(noteRows[0].harmonicCount, 0);
    runPanel({'g'});
    EXPECT_EQ(toMidiSettings.harmo, 10);
    EXPECT_EQ(shownText(5, 28, 13), "[G][H]harmo10");
    EXPECT_FLOAT_EQ(noteRows[0].harmonicWeight[2], 1.0f);
    // A harmo from the file far outside the range wraps without overflow.
    toMidiSettings.harmo = 2147483647;
    runPanel({'H'});
    EXPECT_EQ(toMidiSettings.harmo, 0);
    toMidiSettings.harmo = -2147483647 - 1;
    runPanel({'G'});
    EXPECT_EQ(toMidiSettings.harmo, 10);
}

TEST_F(PanelTest, LockKeysWrapAndAFileValueAboveSevenStaysUntilPressed) {
    const struct {
        int from;
        int key;
        int to;
    } cases[] = {{1, 'k', 7}, {7, 'l', 1}, {3, 'L', 4}, {9, 'l', 1}, {9, 'k', 8}};
    for (const auto& c : cases) {
        toMidiSettings.lock = c.from;
        runPanel({c.key});
        EXPECT_EQ(toMidiSettings.lock, c.to) << c.from;
        EXPECT_EQ(shownText(4, 28, 11), "[K][L]lock" + std::to_string(c.to)) << c.from;
    }
    toMidiSettings.lock = 9;
    runPanel({'t'});
    EXPECT_EQ(toMidiSettings.lock, 9);
}

TEST_F(PanelTest, VelocityScaleKeysMoveByTwoAndAHalfPercentWithinLimits) {
    toMidiSettings.vol = 0.2f;
    runPanel({'n'});
    EXPECT_FLOAT_EQ(toMidiSettings.vol, 0.2f * 1.025f);
    toMidiSettings.vol = 1.99f;
    runPanel({'N', 'n'});
    EXPECT_FLOAT_EQ(toMidiSettings.vol, 2.0f);
    toMidiSettings.vol = 0.0201f;
    runPanel({'b', 'B'});
    EXPECT_FLOAT_EQ(toMidiSettings.vol, 0.02f);
}

TEST_F(PanelTest, OutputKeyReopensTheChosenOutputAndRedrawsTheHeader) {
    midi.outputs = 3;
    const double t = desk.clock() + 0.05;
    desk.pushKeyAt(t, 'o');
    desk.pushKeyAt(t + 0.01, '2');
    desk.pushKeyAt(t + 0.02, key::Enter);
    desk.pushKeyAt(t + 0.5, key::Escape);
    runToMidi();
    EXPECT_EQ(midiDevice, 2);
    EXPECT_EQ(midi.opened.back(), 1);
    EXPECT_EQ(shownText(1, 1, 12), "[O]midiout2 ");
}

TEST_F(PanelTest, UnhandledKeyLeavesAfterItsFrameWithAllNotesOff) {
    enqueueNoteOn(60, 90, desk.clock() + 100.0);
    desk.pushKeyAt(desk.clock() + 0.3, '5');
    runToMidi();
    EXPECT_EQ(keyText, "5");
    EXPECT_EQ(toMidiActive, 0);
    EXPECT_EQ(noteOnQueue.slots[1].inUse, 0) << "pending events dropped";
    const std::vector<SentMessage> sent = takeSent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].data1, 123);
    EXPECT_EQ(sent[1].data1, 64);
    EXPECT_NEAR(desk.clock() - frameClock.current, 0.0, 1e-9) << "nothing after the frame that read it";
}

TEST_F(PanelTest, TestModeRedrawsTheChartOftenAndShowsItsLabel) {
    runPanel({'t'}, 0.5);
    EXPECT_TRUE(toMidiPanel.testMode);
    EXPECT_EQ(shownText(3, 31, 9), "[T]test  ");
    EXPECT_EQ(shownText(4, 28, 11), "[K][L]lock1");
    runPanel({'T', 't'}, 0.5);
    EXPECT_FALSE(toMidiPanel.testMode) << "the panel opens with it off";
}

TEST_F(PanelTest, KernelPlotStaysTwelveSecondsBeforeTheChartReturns) {
    std::string at11, at13;
    const double pressed = desk.clock() + 0.05;
    desk.onTimeAdvance([&](double, double to) {
        if (at11.empty() && to > pressed + 11.0) at11 = shownText(4, 28, 10) + "|" + shownText(7, 28, 10);
        if (at13.empty() && to > pressed + 12.3) at13 = shownText(4, 28, 10);
    });
    runPanel({'w'}, 12.5);
    EXPECT_EQ(at11, "          |[Q][W]sin^");
    EXPECT_EQ(at13, "[K][L]lock");
}

TEST_F(PanelTest, CpuFigureTurnsRedAfterALateFrame) {
    bool red = false;
    desk.onTimeAdvance([&](double, double) { red = red || shownText(6, 34, 5, alarmColour) == "cpu40"; });
    runPanel({'t', 'd', 'd', 'd', 's', 's', 's'});
    EXPECT_TRUE(red) << "the 100 ms pause of [S] and [D] makes the next frame late";
    EXPECT_EQ(screen::foreground(), defaultForeground);
}

TEST_F(PanelTest, MainLoopRunsThePanelOnMAndF9AndDropsTheKeyThatEndedIt) {
    for (int code : {int('m'), int('M'), key::F9}) {
        int activeSeen = 0;
        desk.onTimeAdvance([&](double, double) { activeSeen = std::max(activeSeen, toMidiActive.load()); });
        keyCode = 0;
        desk.pushKey(code);
        desk.pushKeyAt(desk.clock() + 1.0, key::Escape);  // leaves the panel, not korvane
        desk.pushKeyAt(desk.clock() + 2.0, 'g');
        desk.pushKeyAt(desk.clock() + 3.0, key::Space);
        mainLoop();
        EXPECT_EQ(activeSeen, 1) << code;
        EXPECT_EQ(keyCode, key::Space) << code;
        EXPECT_EQ(equalizerOn, 1) << "the main loop went on after the panel";
        equalizerOn = 0;
    }
}

// --- playback keys, with the engine ---

class PanelPlaybackTest : public ToMidiDeskTest {};

TEST_F(PanelPlaybackTest, PStopsAndRestartsPlaybackAndResetsTheTracking) {
    setPlayablePlaylist(2);
    startAt(0);
    bool stoppedSeen = false;
    float whileStopped = 0.0f, afterResume = 0.0f;
    whileSleeping = [&] {
        if (stopped == 1) {
            stoppedSeen = true;
            whileStopped = kz0;
        } else if (stoppedSeen && afterResume == 0.0f && toMidiPanel.redrawTime < desk.clock() - 8.0) {
            afterResume = kz0;  // the first frame after the restart's redraw request
        }
    };
    desk.pushKeyAt(desk.clock() + 0.2, 'p');
    desk.pushKeyAt(desk.clock() + 0.6, 'P');
    desk.pushKeyAt(desk.clock() + 1.2, key::Escape);
    runToMidi();
    EXPECT_TRUE(stoppedSeen);
    EXPECT_EQ(stopped, 0);
    EXPECT_EQ(playing, 1);
    EXPECT_FLOAT_EQ(afterResume, whileStopped - 0.005f);
    EXPECT_EQ(shownText(2, 28, 7), "[P]Stop");
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 1);
}

TEST_F(PanelPlaybackTest, ArrowsChangeTheTrack) {
    setPlayablePlaylist(3);
    startAt(0);
    desk.pushKeyAt(desk.clock() + 0.2, key::Right);
    desk.pushKeyAt(desk.clock() + 0.8, key::Down);
    desk.pushKeyAt(desk.clock() + 1.4, key::Left);
    desk.pushKeyAt(desk.clock() + 2.0, key::Escape);
    runToMidi();
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(keyText, std::string(1, char(key::Escape)));
}

TEST_F(PanelPlaybackTest, TrackEndingInsideThePanelStartsTheNext) {
    setPlayablePlaylist(2);
    startAt(0);
    desk.pushKeyAt(desk.clock() + 17.0, key::Escape);
    runToMidi();
    EXPECT_EQ(currentIndex, 1);
    int allOff = 0;
    for (const SentMessage& m : takeSent()) allOff += m.status == 0xB0 && m.data1 == 123;
    EXPECT_EQ(allOff, 2) << "at the track's end and on leaving";
}

TEST_F(PanelPlaybackTest, AnOutputThatGoesAwayWhileNotesSoundLeavesNothingStuck) {
    setPlaylist({testTrack("triad_c4")});
    startAt(0);
    midi.outputs = 2;
    bool unplugged = false;
    whileSleeping = [&] {
        if (!unplugged && std::count(noteSounding.begin(), noteSounding.end(), 1) > 0) {
            midi.gone.insert(-1);  // the synthesizer's port vanishes mid-note
            unplugged = true;
        }
    };
    const double began = desk.clock();
    desk.pushKeyAt(began + 3.0, key::Escape);
    runToMidi();
    whileSleeping = nullptr;
    ASSERT_TRUE(unplugged);
    EXPECT_GT(midi.lost, 0) << "the panel went on sending";
    EXPECT_GE(desk.clock() - began, 3.0);
    EXPECT_EQ(std::count(noteSounding.begin(), noteSounding.end(), 1), 0);

    // Another output chosen afterwards gets the program change and no note.
    takeSent();
    desk.pushKey('1');
    desk.pushKey(key::Enter);
    chooseMidiDevice();
    runFor(2.0);
    const std::vector<SentMessage> sent = takeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].status, 0xC0);
    EXPECT_EQ(midi.opened.back(), 0);
}

}  // namespace
}  // namespace korvane
