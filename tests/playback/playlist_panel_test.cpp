// The playlist panel in its 500 x 400 window: the rows it draws, picking a
// track with a click, scrolling by wheel and scroll bar, the S key, the
// buttons and the end of a track while it is open.
#include "playback_support.h"

namespace korvane {
namespace {

constexpr std::uint32_t black = rgb(0, 0, 0);
constexpr std::uint32_t yellow = 0xFFFFFF00;
constexpr std::uint32_t green = 0xFF00FF00;

class PlaylistPanelTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        desk.openWindow(500, 400);
        screen::setTextColours(rgb(155, 255, 255), black);
    }

    // Keys reach the panel only once it runs: it drops those already waiting.
    void pressAfter(double seconds, int code) { desk.pushKeyAt(desk.clock() + seconds, code); }

    static MouseReading pointer(int x, int y, int wheel, int buttons) { return {x, y, wheel, buttons}; }

    // True when the row at y shows exactly text in colour on black.
    bool rowShows(int row, const std::string& text, std::uint32_t colour) {
        Framebuffer& shown = desk.framebuffer();
        const Framebuffer before = shown;
        screen::fillBox(0, row * 10, 483, row * 10 + 9, black);
        screen::drawText(0, row * 10, text, colour);
        const Framebuffer expected = shown;
        shown = before;
        for (int y = row * 10; y < row * 10 + 10; ++y)
            for (int x = 0; x < 484; ++x)
                if (expected.at(x, y) != before.at(x, y)) return false;
        return true;
    }
};

TEST_F(PlaylistPanelTest, AClickOnARowPlaysThatEntryAndClosesThePanel) {
    setPlayablePlaylist(80);
    currentIndex = 40;
    desk.pushMouse(pointer(100, 55, 0, 1));
    const double opened = desk.clock();
    playlistPanel();
    EXPECT_EQ(listTop, 40);
    EXPECT_EQ(currentIndex, 45);
    EXPECT_EQ(savedPlaying, 1);
    EXPECT_EQ(keyCode, 0);
    EXPECT_LT(desk.clock() - opened, 1.0);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

TEST_F(PlaylistPanelTest, WheelAndScrollBarMoveTenRowsWithinTheList) {
    setPlayablePlaylist(100);
    currentIndex = 60;
    desk.pushMouse(pointer(200, 200, 0, 0));
    desk.pushMouse(pointer(200, 200, -1, 0));  // a notch down: 70 would pass the end
    desk.pushMouse(pointer(200, 200, 0, 0));   // a notch up
    desk.pushMouse(pointer(490, 370, 0, 1));   // scroll bar below the thumb
    desk.pushMouse(pointer(490, 370, 0, 0));
    desk.pushMouse(pointer(490, 5, 0, 1));     // above it
    desk.pushMouse(pointer(490, 5, 0, 0));
    pressAfter(0.75, key::Escape);
    std::vector<int> tops;
    whileSleeping = [&] {
        if (tops.empty() || tops.back() != listTop) tops.push_back(listTop);
    };
    playlistPanel();
    EXPECT_EQ(tops, (std::vector<int>{60, 62, 52, 62, 52}));
    EXPECT_TRUE(rowShows(0, playlistLabels[52], green));
    EXPECT_EQ(currentIndex, 60);
}

TEST_F(PlaylistPanelTest, SKeySwitchesBetweenLabelsAndFileNames) {
    setPlayablePlaylist(3);
    pressAfter(0.05, 's');
    pressAfter(0.25, key::Escape);
    playlistPanel();
    EXPECT_EQ(nameStyle, 1);
    EXPECT_TRUE(rowShows(0, "1.tone_44100_stereo.mp3", yellow));
    EXPECT_TRUE(rowShows(2, "3.tone_22050_stereo.mp3", green));
    Framebuffer label = desk.framebuffer();
    screen::fillBox(120, 387, 190, 394, 0xFF0000C8);
    screen::drawText(120, 387, "[S]short", screen::foreground());
    EXPECT_TRUE(label.pixels == desk.framebuffer().pixels);

    pressAfter(0.05, 'S');
    pressAfter(0.25, key::Escape);
    playlistPanel();
    EXPECT_EQ(nameStyle, 0);
    EXPECT_TRUE(rowShows(0, playlistLabels[0], yellow));
}

TEST_F(PlaylistPanelTest, TheEndOfATrackIsServicedWhileThePanelIsOpen) {
    setPlayablePlaylist(3);
    startAt(0);
    savedPlaying = 1;
    pressAfter(13.0, key::Enter);
    playlistPanel();
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(trackEnded, 0);
    EXPECT_TRUE(rowShows(1, playlistLabels[1], yellow));
    EXPECT_EQ(playing, 0);  // the main loop restores it
}

TEST_F(PlaylistPanelTest, ButtonsAddRemoveSaveLoadAndClear) {
    const auto& tracks = playableTracks();
    setPlaylist({tracks[0], tracks[1]});
    startAt(1);
    chooseInDialog(tracks[2]);
    desk.pushMouse(pointer(370, 390, 0, 1));  // add
    desk.pushMouse(pointer(420, 390, 0, 1));  // remove
    desk.answerFileDialog({DialogOutcome::Cancelled, ""});
    desk.pushMouse(pointer(210, 390, 0, 1));  // save
    desk.answerFileDialog({DialogOutcome::Cancelled, ""});
    desk.pushMouse(pointer(280, 390, 0, 1));  // load
    desk.pushMouse(pointer(60, 390, 0, 1));   // clear, declined
    pressAfter(1.0, key::Escape);
    playlistPanel();
    EXPECT_EQ(dialogTexts(DialogKind::File),
              (std::vector<std::string>{"add mp3file", "save playlist", "load playlist"}));
    EXPECT_EQ(dialogTexts(DialogKind::Question), std::vector<std::string>{"clear all playlist ?"});
    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[0], tracks[1]}));
    EXPECT_EQ(currentIndex, 1);
    EXPECT_TRUE(rowShows(1, playlistLabels[1], yellow));
}

}  // namespace
}  // namespace korvane
