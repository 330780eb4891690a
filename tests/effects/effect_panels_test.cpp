// The effect keys of the main loop, the equalizer editor and the reverb
// panels, on the scripted desk with the engine's host-driven output running
// the callback as the virtual clock moves.
#include <cmath>

#include "app/input/input_state.h"
#include "app/main_loop.h"
#include "effects/equalizer_editor.h"
#include "effects/reverb_panel.h"
#include "effects_support.h"
#include "tests/playback/playback_support.h"

namespace korvane {
namespace {

class EffectPanelsTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        startEffects();
        resetEqualizerEditor();
        desk.sleepMs(20);  // the callback takes the fresh start
    }

    // Keys the loop left unread are dropped once they are due.
    void dropLeftKeys() {
        while (desk.keysLeft() > 0)
            if (platform().readKey() == 0) desk.advance(1.0);
    }

    // The main loop over the given keys, then a Space that ends it.
    void runKeys(std::initializer_list<int> keys) {
        for (int code : keys) desk.pushKey(code);
        desk.pushKey(key::Space);
        keyCode = 0;
        mainLoop();
    }

    // The editor over two pointer readings of one pass, closed by a key read
    // at the start of that pass.
    void editWith(MouseReading reading) {
        desk.pushMouse(reading);
        desk.pushMouse(reading);
        desk.pushKey('q');
        equalizerEditor();
    }

    static float masterVolume() {
        float level = 0.0f;
        FBS_GET_MASTERVOLUME(&level);
        return level;
    }
};

constexpr int left = 1;
constexpr int right = 2;

TEST_F(EffectPanelsTest, SevenPressesOfACycleTheModesAndResetOnlyOnReachingOne) {
    for (int press = 1; press <= 7; ++press) {
        envelope = heldEnvelope = 0.3f;  // silence leaves them; only a reset moves them
        runKeys({'a'});
        const int mode = press % 7;
        EXPECT_EQ(autovolMode, mode);
        EXPECT_EQ(masterVolume(), mode >= 1 ? 0.9f : 0.85f) << "mode " << mode;
        EXPECT_EQ(envelope, mode == 1 ? 0.8f : 0.3f) << "mode " << mode;
    }
}

TEST_F(EffectPanelsTest, ReverbKeyCyclesTheModeAndItsTapsAreHeard) {
    runKeys({'r'});
    EXPECT_EQ(reverbMode, 1);
    EXPECT_EQ(activeTaps.delay1, 19844);
    EXPECT_EQ(activeTaps.k1, 0.23f);
    reverbLine[5] = 1.0f;
    runKeys({'R', 'r', 'r'});
    EXPECT_EQ(reverbMode, 0);
    EXPECT_EQ(reverbLine[5], 0.0f) << "mode 0 clears the line";
    EXPECT_EQ(activeTaps.k1, 0.0f);
}

TEST_F(EffectPanelsTest, PanelKeysOpenOnlyWhatTheModesAllow) {
    std::string shown;
    whileSleeping = [&] {
        for (const char* title : {"reverb2", "reverb3", "[O]order"})
            if (shownText(1, 1, static_cast<int>(std::string(title).size())) == title) shown = title;
    };
    const struct {
        int reverb;
        int equalizerSwitch;
        int key;
        const char* opens;
    } cases[] = {{1, 0, 't', ""}, {3, 0, 't', "reverb3"}, {2, 0, 'T', "reverb2"},
                 {0, 0, 'e', ""}, {0, 1, 'E', "[O]order"}};
    for (const auto& c : cases) {
        reverbMode = c.reverb;
        equalizerOn = c.equalizerSwitch;
        shown.clear();
        desk.pushKeyAt(desk.clock() + 1.0, key::Escape);  // closes a panel; else ends the loop
        desk.pushKeyAt(desk.clock() + 2.0, key::Space);
        desk.pushKey(c.key);
        keyCode = 0;
        mainLoop();
        EXPECT_EQ(shown, c.opens) << "reverb " << c.reverb << ", equalizer " << c.equalizerSwitch << ", key "
                                  << char(c.key);
        dropLeftKeys();
    }
}

TEST_F(EffectPanelsTest, PanelsServiceTheEndOfATrackAndPassTheCloseRequestOn) {
    for (const int key : {'e', 't'}) {
        equalizerOn = 1;
        reverbMode = 3;
        setPlayablePlaylist(2);
        trackEnded = 0;  // an end left over from the last round
        startAt(0);
        desk.pushKey(key);
        desk.pushKeyAt(desk.clock() + 20.0, key::CloseRequest);
        desk.pushKeyAt(desk.clock() + 30.0, key::Space);
        keyCode = 0;
        const double start = desk.clock();
        mainLoop();
        EXPECT_EQ(currentIndex, 1) << "the 3-second track ended inside the panel of " << char(key);
        EXPECT_LT(desk.clock() - start, 21.0) << "the close request ended the main loop too";
        EXPECT_EQ(keyCode, key::CloseRequest);
        dropLeftKeys();
    }
}

TEST_F(EffectPanelsTest, EditorPointerSetsTheBandOnItsSideOfTheGap) {
    const EqualizerSettings start{};
    const struct {
        int x, y, buttons;
        EqualizerSettings expected;
    } cases[] = {
        {0, 54, left, {20, 8000, 1.0f, 1.0f, 1.2f}},
        {174, 40, left, {934, 8000, float(std::pow(10.0, 14 / 37.0)), 1.0f, 1.2f}},
        {175, 40, left, start},
        {179, 30, left, start},
        {180, 60, left, {200, 1066, 2.0f, 1.0f, float(std::pow(10.0, -6 / 37.0))}},
        {343, 8, left, {200, 25000, 2.0f, 1.0f, 10.0f}},
        {100, 91, right, {200, 8000, 2.0f, 0.1f, 1.2f}},
        {100, 7, left, start},
    };
    for (const auto& c : cases) {
        equalizer = start;
        editWith({c.x, c.y, 0, c.buttons});
        const EqualizerSettings& e = equalizer;
        EXPECT_EQ(e.lowf, c.expected.lowf) << c.x << "," << c.y;
        EXPECT_EQ(e.highf, c.expected.highf) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(e.lowg, c.expected.lowg) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(e.midg, c.expected.midg) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(e.highg, c.expected.highg) << c.x << "," << c.y;
    }
    editWith({101, 91, 0, right});
    EXPECT_EQ(shownText(1, 1, 39), "[O]order1 lowg=6.02 midg=-20 highg=1.58");
}

TEST_F(EffectPanelsTest, EditorAppliesWhereThePointerWasOnePollBefore) {
    desk.pushMouse({10, 54, 0, 0});
    desk.pushMouse({300, 20, 0, left});  // applies 10, 54
    desk.pushKey('q');
    equalizerEditor();
    EXPECT_EQ(equalizer.lowf, 25) << "f(10) = 20 x 10^(3.3 x 10 / 344)";
    EXPECT_EQ(equalizer.highf, 8000);
    EXPECT_EQ(lastEditX, 10);
    // The same place again, in a later session: already applied.
    equalizer.lowf = 500;
    editWith({10, 54, 0, left});
    EXPECT_EQ(equalizer.lowf, 500);
}

TEST_F(EffectPanelsTest, OrderKeyWrapsAfterFourWithoutTouchingTheFilter) {
    eqChannelA.low[0] = 123.0f;  // this thread runs the callback
    for (int i = 0; i < 4; ++i) desk.pushKey('o');
    desk.pushKey('q');
    equalizerEditor();
    EXPECT_EQ(eqOrder, 1);
    desk.sleepMs(50);
    EXPECT_EQ(eqChannelA.low[0], 123.0f);
}

TEST_F(EffectPanelsTest, ReverbBarsTakeClicksUpToColumn213) {
    reverbMode = 3;
    desk.pushMouse({0, 20, 0, left});     // Treverb1 bar
    desk.pushMouse({214, 35, 0, left});   // beside the kreverb1 bar
    desk.pushMouse({105, 75, 0, left});   // kreverb2 bar, halfway
    desk.pushMouse({213, 56, 0, right});  // the right button sets nothing
    desk.pushKeyAt(desk.clock() + 0.35, 'q');
    reverbPanel(reverb3, "reverb3");
    EXPECT_EQ(reverb3.Treverb1, 10.0f);
    EXPECT_EQ(reverb3.kreverb1, 0.55f);
    EXPECT_FLOAT_EQ(reverb3.kreverb2, 0.35f);
    EXPECT_EQ(reverb3.Treverb2, 300.0f);
    EXPECT_EQ(shownText(1, 1, 26), "reverb3   [S]save  [L]load");
    EXPECT_EQ(shownText(3, 29, 11), "Treverb1=10");
    EXPECT_EQ(shownText(10, 29, 14), "kreverb2=0.350");
    desk.sleepMs(20);
    EXPECT_EQ(activeTaps.delay1, 882) << "heard at once";
    drawReverbPanel(reverb3, "reverb3", 213, 32);
    EXPECT_EQ(reverb3.kreverb1, 0.7f);
}

}  // namespace
}  // namespace korvane
