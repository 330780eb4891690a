// Playlist files: the name rules, saving with its question and its failure,
// and loading with trimming, the end marker, the capacity and a restart.
#include <fstream>
#include <iterator>

#include "playback/playlist_files.h"
#include "playback_support.h"

namespace korvane {
namespace {

class PlaylistFilesTest : public PlaybackTest {
protected:
    std::string saveAs(const std::string& typed, bool confirm = true) {
        chooseInDialog(typed);
        desk.answerOkCancel(confirm);
        savePlaylistFile();
        return desk.dialogs().back().text;
    }

    void loadFrom(const std::string& path, bool confirm = true) {
        chooseInDialog(path);
        desk.answerOkCancel(confirm);
        loadPlaylistFile();
    }

    std::string file(const std::string& name) const { return (folder / name).string(); }

    static std::string contentOf(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    static void writeFile(const std::string& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
};

TEST_F(PlaylistFilesTest, SavingWritesOneLinePerEntryAndNoEndMarker) {
    std::filesystem::create_directories(folder / "music");
    for (const char* name : {"a.mp3", "music/b.mp3", "finlist"})
        std::filesystem::copy_file(playableTracks()[0], folder / name);
    setPlaylist({"a.mp3", "music/b.mp3", "finlist"});
    playing = 1;
    EXPECT_EQ(saveAs(file("party")), "playlist saved as " + file("party.mp3list"));
    EXPECT_EQ(contentOf(file("party.mp3list")), "a.mp3\r\nmusic/b.mp3\r\n finlist\r\n");
    EXPECT_EQ(desk.dialogs()[1].text, "save in " + file("party.mp3list") + " ?");
    EXPECT_EQ(lastFolder, folder.string() + "/");
    EXPECT_EQ(playing, 1);

    // Loaded back, the entry named finlist is an entry again.
    loadFrom(file("party.mp3list"));
    EXPECT_EQ(entries(), (std::vector<std::string>{"a.mp3", "music/b.mp3", "finlist"}));
}

TEST_F(PlaylistFilesTest, NamesWithAnotherEndingAreRefused) {
    setPlaylist({"a.mp3"});
    playing = 1;
    chooseInDialog(file("party.m3u"));
    savePlaylistFile();
    EXPECT_EQ(desk.dialogs().back().text, "bad name " + file("party.m3u"));
    EXPECT_EQ(playing, 0);
    EXPECT_FALSE(std::filesystem::exists(file("party.m3u")));

    // A dot in a folder's name does not count as the file's ending.
    std::filesystem::create_directories(folder / "my.lists");
    EXPECT_EQ(saveAs(file("my.lists/party")), "playlist saved as " + file("my.lists/party.mp3list"));
    EXPECT_EQ(saveAs(file("Party.MP3LIST")), "playlist saved as " + file("Party.MP3LIST"));
}

TEST_F(PlaylistFilesTest, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    setPlaylist({"a.mp3"});
    EXPECT_EQ(saveAs(file("none/party")), "cannot write " + file("none/party.mp3list"));
    EXPECT_EQ(desk.dialogs().back().title, "notice");
    EXPECT_EQ(lastFolder, "");

    // A folder in the way of the name: the write fails and the folder stays.
    std::filesystem::create_directories(folder / "taken.mp3list");
    EXPECT_EQ(saveAs(file("taken.mp3list")), "cannot write " + file("taken.mp3list"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.mp3list"));
}

TEST_F(PlaylistFilesTest, LoadingTrimsSkipsBlanksAndStopsAtTheEndMarker) {
    const auto& tracks = playableTracks();
    writeFile(file("list.mp3list"), "  " + tracks[1] + " \r\n\r\n   \n" + tracks[2] +
                                        "\r\nfinlist\r\n" + tracks[3] + "\r\n");
    setPlayablePlaylist(5);
    repeatMode = 3;
    startAt(4);
    loadFrom(file("list.mp3list"));
    EXPECT_EQ(desk.dialogs()[1].text, "load " + file("list.mp3list") + " ?");
    EXPECT_EQ(entries(), (std::vector<std::string>{tracks[1], tracks[2]}));
    EXPECT_EQ(currentIndex, 0);
    EXPECT_EQ(repeatMode, 0);
    EXPECT_EQ(trackPath, tracks[1]);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(panelRedraw, 1);
    EXPECT_EQ(lastFolder, folder.string() + "/");
}

TEST_F(PlaylistFilesTest, LoadingAHundredThousandPathsKeepsTheLastInEntry400) {
    std::string content = playableTracks()[0] + "\r\n";
    for (int i = 2; i <= 100000; ++i) content += "track" + std::to_string(i) + ".mp3\r\n";
    writeFile(file("big.mp3list"), content);
    loadFrom(file("big.mp3list"));
    EXPECT_EQ(lastIndex, 400);
    EXPECT_EQ(playlistEntries[399], "track400.mp3");
    EXPECT_EQ(playlistEntries[400], "track100000.mp3");
}

TEST_F(PlaylistFilesTest, DecliningTheLoadKeepsTheListAndRestartsTheTrack) {
    setPlayablePlaylist(3);
    startAt(2);
    writeFile(file("other.mp3list"), "x.mp3\r\n");
    runFor(1.0);
    const double startedBefore = startTime;
    loadFrom(file("other.mp3list"), false);
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(currentIndex, 2);
    EXPECT_GT(startTime, startedBefore);
    EXPECT_EQ(streamsAfterAMoment(), 1);
    EXPECT_EQ(playing, 1);
}

TEST_F(PlaylistFilesTest, AMissingFileChangesNothingAndAnEmptyOneAsksForFiles) {
    setPlayablePlaylist(3);
    currentIndex = 1;
    chooseInDialog(file("gone.mp3list"));
    loadPlaylistFile();
    EXPECT_EQ(desk.dialogs().back().text, "not found :" + file("gone.mp3list"));
    EXPECT_EQ(lastIndex, 2);
    EXPECT_EQ(currentIndex, 1);

    writeFile(file("blank.mp3list"), "  \r\n\r\n");
    chooseInDialog(file("blank.mp3list"));
    desk.answerOkCancel(true);
    chooseInDialog(playableTracks()[3]);  // asked for by the not-empty check
    loadPlaylistFile();
    EXPECT_EQ(dialogTexts(DialogKind::File).back(), "add mp3file");
    EXPECT_EQ(entries(), std::vector<std::string>{playableTracks()[3]});
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

}  // namespace
}  // namespace korvane
