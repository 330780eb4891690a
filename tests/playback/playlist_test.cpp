// The playlist model: adding with its checks, the duplicate scan, the
// capacity, removing, and the paths kept relative to the working folder.
#include <algorithm>

#include "playback_support.h"

namespace korvane {
namespace {

using PlaylistTest = PlaybackTest;

TEST_F(PlaylistTest, AddingInsertsBeforeTheCurrentEntryRenumbersAndPlays) {
    const auto& tracks = playableTracks();
    setPlaylist({tracks[0], tracks[1], tracks[2]});
    repeatFrom = 1;
    repeatTo = 2;
    startAt(1);
    chooseInDialog(tracks[3]);
    addFile();

    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[0], tracks[3], tracks[1], tracks[2]}));
    EXPECT_EQ(playlistLabels[2].substr(0, 2), "3.");
    const std::size_t tail = std::min<std::size_t>(tracks[2].size(), 55);
    EXPECT_EQ(playlistLabels[3], "4." + tracks[2].substr(tracks[2].size() - tail));
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(trackPath, tracks[3]);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(repeatFrom, 2);  // still the same tracks
    EXPECT_EQ(repeatTo, 3);
    EXPECT_EQ(lastFolder, std::string(KORVANE_TEST_AUDIO_DIR) + "/");
    EXPECT_EQ(dialogTexts(DialogKind::File), std::vector<std::string>{"add mp3file"});
}

TEST_F(PlaylistTest, ADuplicateIsOfferedForRemovalAndTheNewEntryStaysCurrent) {
    const auto& tracks = playableTracks();
    setPlaylist({tracks[0], tracks[1], tracks[2]});
    startAt(2);
    chooseInDialog(tracks[0]);
    desk.answerOkCancel(true);
    addFile();

    const std::vector<ShownDialog>& shown = desk.dialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, "yet in playlist : rank=0\nremove ?");
    EXPECT_EQ(shown[1].title, "add playlist");
    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[1], tracks[0], tracks[2]}));
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(trackPath, tracks[0]);

    // Declined, the copy stays.
    chooseInDialog(tracks[2]);
    desk.answerOkCancel(false);
    addFile();
    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[1], tracks[2], tracks[0], tracks[2]}));
    EXPECT_EQ(desk.dialogs().back().text, "yet in playlist : rank=3\nremove ?");
}

TEST_F(PlaylistTest, BadNamesMissingFilesAndCancelChangeNothing) {
    setPlayablePlaylist(2);
    playing = 1;
    chooseInDialog("  song.wav ");
    addFile();
    chooseInDialog("missing.MP3");
    addFile();
    desk.answerFileDialog({DialogOutcome::Cancelled, ""});
    addFile();
    EXPECT_EQ(dialogTexts(DialogKind::Message),
              (std::vector<std::string>{"bad name song.wav", "not found :missing.MP3"}));
    EXPECT_EQ(lastIndex, 1);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(lastFolder, "");
}

TEST_F(PlaylistTest, TheListTakes401EntriesAndRefusesTheNext) {
    setPlayablePlaylist(399);
    currentIndex = 398;
    // Every copy already in the list is offered for removal; unanswered
    // questions answer "no".
    for (int i = 0; i < 2; ++i) {
        chooseInDialog(playableTracks()[0]);
        addFile();
    }
    EXPECT_EQ(lastIndex, 400);
    const std::size_t shownBefore = desk.dialogs().size();
    addFile();
    ASSERT_EQ(desk.dialogs().size(), shownBefore + 1);
    EXPECT_EQ(desk.dialogs().back().text, "max 400 files !");
    EXPECT_EQ(desk.dialogs().back().title, "notice");
    EXPECT_EQ(lastIndex, 400);
}

TEST_F(PlaylistTest, PathsInsideTheWorkingFolderAreKeptRelative) {
    // folder/music is the working folder; folder/music2 only shares its prefix.
    std::filesystem::create_directories(folder / "music" / "sub");
    std::filesystem::create_directories(folder / "music2");
    std::filesystem::copy_file(playableTracks()[0], folder / "music" / "sub" / "a.mp3");
    std::filesystem::copy_file(playableTracks()[1], folder / "music2" / "b.mp3");
    std::filesystem::current_path(folder / "music");

    chooseInDialog((folder / "music" / "sub" / "a.mp3").string());
    addFile();
    chooseInDialog((folder / "music2" / "b.mp3").string());
    addFile();
    EXPECT_EQ(entries(), (std::vector<std::string>{(folder / "music2" / "b.mp3").string(), "sub/a.mp3"}));
    EXPECT_EQ(lastFolder, (folder / "music2").string() + "/");
    EXPECT_EQ(std::filesystem::current_path(), folder / "music");
}

TEST_F(PlaylistTest, RemovingTheLastEntryPlaysTheNewLast) {
    const auto& tracks = playableTracks();
    setPlaylist({tracks[0], tracks[1], tracks[2]});
    repeatFrom = 2;
    repeatTo = 2;
    startAt(2);
    removeAndPlayNext();
    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[0], tracks[1]}));
    EXPECT_EQ(playlistLabels[2], "");
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(trackPath, tracks[1]);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(repeatFrom, 1);
    EXPECT_EQ(repeatTo, 1);

    // From the middle, the next entry takes its place.
    startAt(0);
    removeAndPlayNext();
    EXPECT_EQ(entries(), std::vector<std::string>{tracks[1]});
    EXPECT_EQ(currentIndex, 0);
    EXPECT_EQ(trackPath, tracks[1]);
    EXPECT_EQ(repeatFrom, 0);
    EXPECT_EQ(repeatTo, 0);
}

TEST_F(PlaylistTest, RemovingTheOnlyEntryStopsAndAsksForAFile) {
    setPlayablePlaylist(1);
    startAt(0);
    chooseInDialog("");  // nothing given: a notice, then a second dialog
    chooseInDialog(playableTracks()[2]);
    removeAndPlayNext();
    EXPECT_EQ(dialogTexts(DialogKind::File), (std::vector<std::string>{"add mp3file", "add mp3file"}));
    EXPECT_EQ(dialogTexts(DialogKind::Message), std::vector<std::string>{"no mp3file selected !"});
    EXPECT_EQ(entries(), std::vector<std::string>{playableTracks()[2]});
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

TEST_F(PlaylistTest, GivingNoFileAtAllEndsTheProgram) {
    // Nothing plays: the death test forks, and a decoder thread would not
    // come along into the child to be joined there.
    setPlayablePlaylist(1);
    for (int i = 0; i < 3; ++i) chooseInDialog("");
    desk.answerOkCancel(false);  // want to exit? no: one more dialog, then the end
    endExpected = true;
    EXPECT_EXIT(removeAndPlayNext(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PlaylistTest, RemovingAtTheScanIndexSkipsTheCurrentAndOutOfRangeEntries) {
    setPlayablePlaylist(4);
    currentIndex = 2;
    repeatFrom = 1;
    repeatTo = 3;
    for (int r : {-1, 2, 4}) {
        scanIndex = r;
        removeEntryAt();
        EXPECT_EQ(lastIndex, 3) << r;
    }
    scanIndex = 0;
    removeEntryAt();
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(currentIndex, 1);
    EXPECT_EQ(repeatFrom, 0);
    EXPECT_EQ(repeatTo, 2);
    EXPECT_EQ(scanIndex, -1);
    EXPECT_EQ(playlistLabels[2].substr(0, 2), "3.");

    emptyPlaylist();
    removeAndPlayNext();
    EXPECT_EQ(lastIndex, -1);
    EXPECT_TRUE(desk.dialogs().empty());
}

}  // namespace
}  // namespace korvane
