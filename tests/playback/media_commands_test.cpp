// The desktop's media commands on the main thread: pause holds the track
// and its clock, play goes on from there, stop after pause ends the stream,
// the track commands play on, and the commands reach the player from the
// main loop and from inside the playlist panel.
#include <algorithm>

#include "app/mpris/mpris.h"
#include "playback_support.h"

namespace korvane {
namespace {

class MediaCommandsTest : public PlaybackTest {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        mpris::clearQuitRequest();
        installMediaCommandRunner(mpris::serviceMediaCommands);
        heard = [this](const std::int16_t* samples, int count) {
            const bool loud = std::any_of(samples, samples + count, [](std::int16_t s) { return s != 0; });
            (paused == 1 ? loudWhilePaused : loudBuffers) += loud ? 1 : 0;
        };
    }
    void TearDown() override {
        installMediaCommandRunner(nullptr);
        PlaybackTest::TearDown();
    }
    static void run(MediaAction action, double value = 0.0) { mpris::runMediaCommand({action, value, 0}); }
    static double position() { return mpris::positionAt(mpris::takePlayerSnapshot(), platform().clock()) / 1e6; }

    int loudBuffers = 0;
    int loudWhilePaused = 0;
};

TEST_F(MediaCommandsTest, PauseHoldsTheTrackAndPlayGoesOnFromThere) {
    setPlaylist({testTrack("tone_44100_stereo")});  // three seconds
    startAt(0);
    runFor(1.0);
    const double started = startTime;
    run(MediaAction::Pause);
    EXPECT_EQ(mpris::takePlayerSnapshot().status, "Paused");
    EXPECT_EQ(stopped, 1);  // the button reads "play", the clock stands
    const double held = position();
    EXPECT_NEAR(held, 1.0, 0.15);
    runFor(20.0);  // longer than a track's end takes to be noticed
    EXPECT_EQ(loudWhilePaused, 0);
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 1);
    EXPECT_EQ(position(), held);
    EXPECT_EQ(startTime, started);  // nothing advanced to the next track
    EXPECT_EQ(paused, 1);

    run(MediaAction::PlayPause);
    EXPECT_EQ(mpris::takePlayerSnapshot().status, "Playing");
    EXPECT_NEAR(position(), held, 1e-6);
    runFor(1.0);
    EXPECT_NEAR(position(), held + 1.0, 1e-6);
    ASSERT_GT(runUntilTrackStart(15.0), 0);  // the rest of the track, then its end
    // The file's three seconds were heard once: none lost or doubled by the pause.
    EXPECT_NEAR(loudBuffers * bufferSeconds, 3.0, 0.1);
}

TEST_F(MediaCommandsTest, StopAfterPauseEndsTheStreamAndPlayStartsAgain) {
    setPlayablePlaylist(2);
    startAt(0);
    runFor(1.0);
    run(MediaAction::Pause);
    run(MediaAction::Stop);
    EXPECT_EQ(paused, 0);
    EXPECT_EQ(mpris::takePlayerSnapshot().status, "Stopped");
    EXPECT_EQ(streamsAfterAMoment(), 0);
    runFor(15.0);
    EXPECT_EQ(currentIndex, 0);  // a stopped track does not advance
    run(MediaAction::Play);
    EXPECT_EQ(mpris::takePlayerSnapshot().status, "Playing");
    EXPECT_LT(position(), 0.2);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

TEST_F(MediaCommandsTest, TrackCommandsPlayOnAndTheRestActOnTheDesk) {
    setPlayablePlaylist(3);
    startAt(0);
    stopPlayback();
    run(MediaAction::Next);
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(stopped, 0);
    EXPECT_EQ(savedPlaying, 1);
    run(MediaAction::Previous);
    run(MediaAction::Previous);
    EXPECT_EQ(currentIndex, 2);
    EXPECT_EQ(mpris::takePlayerSnapshot().trackId, "/org/korvane/track/2");

    run(MediaAction::SetVolume, 0.5);
    EXPECT_FLOAT_EQ(volume, 0.85f);
    run(MediaAction::SetVolume, 7.0);
    EXPECT_FLOAT_EQ(volume, 1.7f);
    run(MediaAction::SetVolume, -1.0);
    EXPECT_FLOAT_EQ(volume, 0.034f);
    run(MediaAction::Raise);
    EXPECT_EQ(desk.timesRaised(), 1);
    run(MediaAction::Quit);
    EXPECT_TRUE(mpris::quitRequested());
    EXPECT_EQ(desk.readKey(), key::Escape);
}

TEST_F(MediaCommandsTest, CommandsRunInsideThePlaylistPanelAndQuitEndsTheMainLoopThere) {
    setPlayablePlaylist(3);
    startAt(0);
    const std::uint64_t next = desk.mediaCommands().push(MediaAction::Next);
    desk.pushKeyAt(desk.clock() + 1.0, key::Escape);
    savedPlaying = 1;
    playlistPanel();
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(mpris::lastCommandRun(), next);
    EXPECT_EQ(mpris::publishedSnapshot().trackId, "/org/korvane/track/1");

    // "p" opens the panel; Quit comes while it is open and ends it and the loop.
    bool quitSent = false;
    whileSleeping = [&] {
        if (!quitSent && desk.openedWindows().back().width == 500) {
            quitSent = true;
            desk.mediaCommands().push(MediaAction::Quit);
        }
    };
    desk.pushKey('p');
    keyCode = 0;
    mainLoop();
    EXPECT_TRUE(quitSent);
    EXPECT_EQ(keyCode, key::Escape);
    EXPECT_EQ(desk.openedWindows().back().width, mainWindowWidth);
}

}  // namespace
}  // namespace korvane
