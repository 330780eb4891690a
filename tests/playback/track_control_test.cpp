// Track control end to end: real streams through the engine's host-driven
// output in virtual time, the end of a track found by the master callback,
// and what each repeat mode plays next.
#include <set>

#include "playback_support.h"

namespace korvane {
namespace {

using TrackControlTest = PlaybackTest;

TEST_F(TrackControlTest, StartingATrackSetsItsTitleLengthAndBitRate) {
    const std::string path = testTrack("tone_44100_stereo");
    setPlaylist({"x.mp3", path});
    startAt(1);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(trackTitle, "2." + path.substr(path.size() - 38));
    EXPECT_EQ(shortName, path.substr(path.size() - 25, 21));
    EXPECT_EQ(lengthText, "0:03");
    EXPECT_NEAR(bitRate, 128000.0, 4000.0);  // a 128 kbit/s file
    EXPECT_EQ(auxvar, 0.0);
    EXPECT_EQ(redrawRequested, 1);
    EXPECT_TRUE(desk.dialogs().empty());
}

TEST_F(TrackControlTest, ShortPathsGiveTheTitleAndShortNameThereIs) {
    std::filesystem::copy_file(playableTracks()[0], "a.mp3");
    std::filesystem::copy_file(playableTracks()[0], "ab");
    setPlaylist({"a.mp3", "ab"});
    startAt(0);
    EXPECT_EQ(trackTitle, "1.a.mp3");
    EXPECT_EQ(shortName, "a");
    startAt(1);
    EXPECT_EQ(trackTitle, "2.ab");
    EXPECT_EQ(shortName, "");
    EXPECT_TRUE(desk.dialogs().empty());
}

TEST_F(TrackControlTest, LengthTextRoundsTheSecondsOnly) {
    EXPECT_EQ(formatTrackLength(215.0f), "3:35");
    EXPECT_EQ(formatTrackLength(65.2f), "1:05");
    EXPECT_EQ(formatTrackLength(119.6f), "1:60");
}

TEST_F(TrackControlTest, AFileWithoutFramesHasNoLengthButStillPlays) {
    const std::string path = testTrack("not_mp3");
    setPlaylist({path});
    bitRate = 12345.0f;
    startAt(0);
    ASSERT_EQ(dialogTexts(DialogKind::Message), std::vector<std::string>{"error lngtrk=0 " + path});
    EXPECT_EQ(trackLength, 1.0f);
    EXPECT_EQ(lengthText, "0:00");
    EXPECT_EQ(bitRate, 12345.0f);
    EXPECT_NE(auxvar, 0.0);
}

TEST_F(TrackControlTest, OneEntryInRepeatAllStartsAgainOnlyAfterTwelveSeconds) {
    setPlayablePlaylist(1);
    startAt(0);
    const double took = runUntilTrackStart(30.0);
    EXPECT_GE(took, 12.0);  // a 3 s track waits out the start grace
    EXPECT_LE(took, 12.5);
    EXPECT_EQ(currentIndex, 0);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(trackEnded, 0);
}

TEST_F(TrackControlTest, RepeatRangesChooseTheTrackAfterTheEnd) {
    const struct {
        int mode, from, to, playing, next;
    } cases[] = {{3, 2, 4, 4, 2}, {3, 2, 4, 6, 7}, {2, 3, 0, 9, 0}};
    setPlayablePlaylist(10);
    for (const auto& c : cases) {
        repeatMode = c.mode;
        repeatFrom = c.from;
        repeatTo = c.to;
        startAt(c.playing);
        ASSERT_GT(runUntilTrackStart(15.0), 0);
        EXPECT_EQ(currentIndex, c.next) << "mode " << c.mode << " after " << c.playing;
    }
}

TEST_F(TrackControlTest, RandomModeDrawsEveryEntryAndNoOther) {
    setPlayablePlaylist(3);
    repeatMode = 4;
    startAt(0);
    std::set<int> drawn;
    for (int i = 0; i < 60; ++i) {
        advanceAfterEnd();
        ASSERT_GE(currentIndex, 0);
        ASSERT_LE(currentIndex, 2);
        drawn.insert(currentIndex);
        EXPECT_EQ(playing, 1);
    }
    EXPECT_EQ(drawn.size(), 3u);
}

TEST_F(TrackControlTest, PlayOnceStopsAtTheEndAndPlayRestartsTheSameTrack) {
    setPlayablePlaylist(3);
    repeatMode = 5;
    startAt(1);
    runFor(13.0);
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(playing, 0);
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);

    // The fourth button of the main panel now reads "play" and restarts.
    clickPending = 1;
    clickX = 220;
    clickY = 30;
    drawButtons();
    EXPECT_EQ(stopped, 0);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

TEST_F(TrackControlTest, QuickRightPressesMoveOneTrack) {
    setPlayablePlaylist(4);
    startAt(0);
    desk.pushKey(key::Right);
    desk.pushKey(key::Right);
    desk.pushKeyAt(desk.clock() + 0.15, key::Right);
    nextTrack();
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(desk.keysLeft(), 0u);
    previousTrack();
    previousTrack();
    EXPECT_EQ(currentIndex, 3);  // wraps to the last entry
}

TEST_F(TrackControlTest, LastEntryThatCannotOpenIsRemovedAndTheNewLastPlaysLater) {
    setPlayablePlaylist(3);
    playlistEntries[3] = "gone.mp3";
    playlistLabels[3] = playlistLabel(3, "gone.mp3");
    lastIndex = 3;
    repeatTo = 3;
    startAt(2);
    desk.answerOkCancel(true);
    ASSERT_TRUE(playUntilTrackEnded(15.0));
    const double attemptBegan = desk.clock();
    serviceTrackEnd();
    EXPECT_EQ(dialogTexts(DialogKind::Message),
              (std::vector<std::string>{"error lngtrk=0 gone.mp3", "cant open gone.mp3 !"}));
    EXPECT_EQ(dialogTexts(DialogKind::Question), std::vector<std::string>{"remove 4.gone.mp3 ?"});
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(repeatTo, 2);
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);

    ASSERT_TRUE(playUntilTrackEnded(15.0));
    EXPECT_GE(desk.clock() - attemptBegan, 12.0);
    ASSERT_GT(runUntilTrackStart(1.0), 0);
    EXPECT_EQ(currentIndex, 2);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

TEST_F(TrackControlTest, DecliningTheRemovalOffersToClearTheList) {
    setPlaylist({playableTracks()[0], "gone.mp3"});
    desk.answerOkCancel(false);  // remove?
    desk.answerOkCancel(true);   // clear all playlist?
    chooseInDialog(playableTracks()[1]);
    startAt(1);
    EXPECT_EQ(dialogTexts(DialogKind::Question),
              (std::vector<std::string>{"remove 2.gone.mp3 ?", "clear all playlist ?"}));
    EXPECT_EQ(dialogTexts(DialogKind::File), std::vector<std::string>{"add mp3file"});
    EXPECT_EQ(entries(), std::vector<std::string>{playableTracks()[1]});
    EXPECT_EQ(currentIndex, 0);
    EXPECT_EQ(repeatMode, 0);
}

TEST_F(TrackControlTest, DecliningBothQuestionsEndsTheProgram) {
    setPlaylist({"gone.mp3"});
    desk.answerOkCancel(false);
    desk.answerOkCancel(false);
    endExpected = true;
    EXPECT_EXIT(startAt(0), ::testing::ExitedWithCode(0), "");
}

TEST_F(TrackControlTest, AnEmptyListNeverReachesEntryMinusOne) {
    currentIndex = -1;
    nextTrack();
    previousTrack();
    EXPECT_EQ(currentIndex, -1);
    removeCurrentEntry();
    EXPECT_EQ(lastIndex, -1);
    EXPECT_TRUE(desk.dialogs().empty());

    // Starting asks for a file instead, and the file given plays.
    chooseInDialog(playableTracks()[0]);
    startTrack();
    EXPECT_EQ(entries(), std::vector<std::string>{playableTracks()[0]});
    EXPECT_EQ(currentIndex, 0);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

}  // namespace
}  // namespace korvane
