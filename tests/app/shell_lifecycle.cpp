// Start-up and shutdown over the engine's host-driven output: the settings
// come in limited and go back out, the MIDI output is silenced and closed,
// and the reset gives the next start the state of the first; a start
// without any playback driver ends with code 1 and writes nothing. The plug-outs are looked for in the installed folder when there
// is one.
#include <fstream>

#include "app/config.h"
#include "app/lifecycle.h"
#include "app/plugout_folder.h"
#include "shell_support.h"

namespace korvane {
namespace {

using LifecycleTest = ShellTest;

std::string lineOf(int number) {
    std::ifstream in(configFileName, std::ios::binary);
    std::string line;
    for (int i = 0; i < number; ++i) std::getline(in, line);
    return line;
}

// After the run, resetKorvane puts back what it changed: a second start in
// the same process reads its korvane.ini over the values of the first.
TEST_F(LifecycleTest, StartsTheTrackWritesTheSettingsBackOnEscapeAndResetsForTheNextStart) {
    const std::string firstStart = configurationText();
    std::filesystem::copy_file(std::string(KORVANE_TEST_AUDIO_DIR) + "/tone_44100_stereo.mp3",
                               "track.mp3");
    std::ofstream ini(configFileName, std::ios::binary);
    ini << " 0\r\n 5000\r\n-20\r\n 3\r\n 2\r\n";
    for (int line = 6; line <= 25; ++line) ini << " 0\r\n";
    ini << "track.mp3\r\nfinlist\r\nmusic/\r\n 1\r\n 1.5\r\n";
    ini.close();

    ASSERT_EQ(FBS_USE_HOSTOUTPUT(1), 1);
    desk.pushKey('g');
    desk.pushKeyAt(2.0, key::Escape);
    EXPECT_EQ(runKorvane(), 0);
    FBS_USE_HOSTOUTPUT(0);

    EXPECT_EQ(trackTitle, "1.track.mp3");
    EXPECT_EQ(lineOf(2), " 1576\r") << "limited to the 1920-pixel desktop";
    EXPECT_EQ(lineOf(3), " 1\r");
    EXPECT_EQ(lineOf(14), " 1\r");
    EXPECT_EQ(lineOf(26), "track.mp3\r");
    EXPECT_EQ(midi.opened, std::vector<int>{-1});
    EXPECT_EQ(midi.closed, std::vector<int>{-1});
    ASSERT_EQ(midi.messages.size(), 3u) << "program change, then the two controllers";
    EXPECT_EQ(midi.messages[1].packed, 0x7BB0u);

    resetKorvane();
    EXPECT_EQ(configurationText(), firstStart);
    EXPECT_EQ(trackTitle, "");
    EXPECT_EQ(keyCode, 0) << "the Escape that ended the run";
}

// 0.2 x 1.025^4 is the float 0.220762566, which seven digits do not single
// out; the file holds the seven-digit text all the same.
TEST_F(LifecycleTest, VelocityScaleRaisedFourTimesInTheToMidiPanelIsWrittenWithSevenDigits) {
    std::filesystem::copy_file(std::string(KORVANE_TEST_AUDIO_DIR) + "/tone_44100_stereo.mp3",
                               "track.mp3");
    std::ofstream ini(configFileName, std::ios::binary);
    for (int line = 1; line <= 25; ++line) ini << " 0\r\n";
    ini << "track.mp3\r\nfinlist\r\n";  // vol takes its default, 0.2
    ini.close();

    ASSERT_EQ(FBS_USE_HOSTOUTPUT(1), 1);
    desk.pushKeyAt(0.5, 'm');
    for (int press = 0; press < 4; ++press) desk.pushKeyAt(1.0 + 0.2 * press, 'N');
    desk.pushKeyAt(2.0, '5');  // leaves the panel
    desk.pushKeyAt(2.5, key::Escape);
    EXPECT_EQ(runKorvane(), 0);
    FBS_USE_HOSTOUTPUT(0);

    EXPECT_EQ(lineOf(27), "finlist\r");
    EXPECT_EQ(lineOf(30), "0.2207626\r") << "vol";
}

TEST_F(LifecycleTest, StartWithoutAPlaybackDriverEndsWithCodeOneAndWritesNothing) {
    std::filesystem::create_directory("no-plugouts");
    const std::string previousPath = FBS_GET_PLUGPATH();
    FBS_SET_PLUGPATH((folder / "no-plugouts/").c_str());
    desk.pushKeyAt(1.0, 'x');
    desk.pushKeyAt(2.0, 'y');
    EXPECT_EQ(runKorvane(), 1);
    FBS_SET_PLUGPATH(previousPath.c_str());
    EXPECT_GE(desk.clock(), 2.0) << "each message waits for a key";
    EXPECT_TRUE(midi.opened.empty());
    EXPECT_FALSE(std::filesystem::exists(configFileName));
}

TEST_F(LifecycleTest, PlugoutsComeFromTheInstalledFolderOnlyWhenItIsAFolder) {
    const std::string bin = (folder / "bin/").string();
    const std::string installed = (folder / "lib/korvane/").string();
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(folder / "lib");
    EXPECT_EQ(plugoutFolder(bin, "../lib/korvane/"), bin) << "a build folder: beside the program";
    std::ofstream(folder / "lib/korvane").put('x');
    EXPECT_EQ(plugoutFolder(bin, "../lib/korvane/"), bin) << "a file of that name";
    std::filesystem::remove(folder / "lib/korvane");
    std::filesystem::create_directories(installed);
    EXPECT_EQ(plugoutFolder(bin, "../lib/korvane/"), installed);
}

}  // namespace
}  // namespace korvane
