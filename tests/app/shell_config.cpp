// korvane.ini: reading with defaults and limits, the playlist block, and the
// exact text written back.
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "app/config.h"
#include "app/text/text_file.h"
#include "playback/playlist_block.h"
#include "shell_support.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {
namespace {

class ConfigTest : public ShellTest {
protected:
    static std::string crlf(std::initializer_list<std::string> lines) {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        return text;
    }

    // A file of 25 setting lines, the given playlist lines and "finlist";
    // every setting " 0" but those given by line number.
    static std::string file(const std::map<int, std::string>& settings,
                            std::initializer_list<std::string> playlist = {}, const char* end = "\r\n") {
        std::string text;
        for (int i = 1; i <= 25; ++i) text += (settings.count(i) ? settings.at(i) : " 0") + end;
        for (const std::string& entry : playlist) text += entry + end;
        return text + "finlist" + end;
    }

    static void read(std::string text) {
        TextLines lines(std::move(text));
        readConfigurationFrom(lines);
    }

    static std::string fileText() {
        std::stringstream content;
        content << std::ifstream(configFileName, std::ios::binary).rdbuf();
        return content.str();
    }
};

TEST_F(ConfigTest, MissingLinesTakeTheirDefaults) {
    speed = 55.0f;
    toMidiSettings.cpu = 2000;
    readConfiguration();  // no file
    EXPECT_EQ(windowLeft, 400);
    EXPECT_EQ(windowTop, 300);
    EXPECT_EQ(speed, 100.0f);
    EXPECT_EQ(volume, 1.7f);
    EXPECT_EQ(lastIndex, -1);
    EXPECT_EQ(toMidiSettings.cpu, 4800);
    EXPECT_EQ(toMidiSettings.windowFactor, 1.0f);

    read(crlf({" 2", " 10", " 20", " 3", " 1", "0.1", "0.2", "100", "200", "0.6"}));
    EXPECT_EQ(windowLeft, 10);
    EXPECT_EQ(autovolMode, 3);
    EXPECT_EQ(reverb2.kreverb1, 0.6f);
    EXPECT_EQ(reverb2.kreverb2, 0.3f) << "line 11 on take defaults";
    EXPECT_EQ(equalizer.lowg, 2.0f);
    EXPECT_EQ(currentIndex, 0) << "2 limited to the empty playlist";
}

TEST_F(ConfigTest, ValuesAreReadLenientlyRoundedAndLimitedWherePresent) {
    const struct {
        int line;
        const char* text;
        double (*value)();
        double expected;
    } cases[] = {
        {21, "0", [] { return double(speed); }, 40},
        {21, "500", [] { return double(speed); }, 100},
        {22, "5", [] { return double(volume); }, double(1.7f)},
        {22, "nan", [] { return double(volume); }, double(0.02f)},
        {23, "  2.5xyz", [] { return double(repeatMode); }, 2},
        {23, "3.5", [] { return double(repeatMode); }, 4},
        {2, "1e999", [] { return double(windowLeft); }, std::numeric_limits<int>::max()},
        {4, "-9", [] { return double(autovolMode); }, -9},  // kept: no label shows it
        {4, "inf", [] { return double(autovolMode); }, 0},
    };
    for (const auto& c : cases) {
        read(file({{c.line, c.text}}));
        EXPECT_EQ(c.value(), c.expected) << "line " << c.line << " reading " << c.text;
    }
    // After the playlist: lastFolder, nameStyle, vol, midiDevice, lock, harmo,
    // cpu, sinExponent, windowFactor.
    read(file({}) + crlf({"", " 0", "9", " 0", " 0", " 0", " 100", "1e999", "nan"}));
    EXPECT_EQ(toMidiSettings.vol, 2.0f);
    EXPECT_EQ(toMidiSettings.lock, 1);
    EXPECT_EQ(toMidiSettings.cpu, 1200);
    EXPECT_EQ(toMidiSettings.sinExponent, 60.0f);
    EXPECT_EQ(toMidiSettings.windowFactor, 0.3f);
}

TEST_F(ConfigTest, PlaylistKeeps401EntriesAndTheLastExtraPathWins) {
    std::string text = file({});
    text.resize(text.size() - 9);  // no "finlist": the block runs to the end
    for (int i = 1; i <= 405; ++i) text += "/music/track" + std::to_string(i) + ".mp3\r\n";
    read(text);
    EXPECT_EQ(lastIndex, 400);
    EXPECT_EQ(playlistEntries[399], "/music/track400.mp3");
    EXPECT_EQ(playlistEntries[400], "/music/track405.mp3");
    EXPECT_EQ(playlistLabels[400], "401./music/track405.mp3");
}

TEST_F(ConfigTest, BlockSkipsBlankLinesTrimsSpacesKeepsTabsAndStopsAtFinlist) {
    read(file({}, {"", "   ", "  a.mp3  ", "\tb.mp3", " finlist"}) + crlf({"  /tmp/  ", " 1"}));
    ASSERT_EQ(lastIndex, 2);
    EXPECT_EQ(playlistLabels[0], "1.a.mp3");
    EXPECT_EQ(playlistEntries[1], "\tb.mp3");
    EXPECT_EQ(playlistEntries[2], "finlist");
    EXPECT_EQ(lastFolder, "/tmp/");
    EXPECT_EQ(nameStyle, 1);
}

TEST_F(ConfigTest, IndexesAreLimitedToThePlaylistAndLineFeedsAloneWork) {
    read(file({{1, " 7"}, {24, "1e999"}, {25, "-4"}}, {"a", "b", "c"}, "\n") + "/a/\n");
    EXPECT_EQ(currentIndex, 2);
    EXPECT_EQ(repeatFrom, 2);
    EXPECT_EQ(repeatTo, 0);
    EXPECT_EQ(playlistEntries[2], "c");
    EXPECT_EQ(lastFolder, "/a/");
}

TEST_F(ConfigTest, WindowPositionAndPresetsAreBroughtIntoRange) {
    windowLeft = 5000;
    windowTop = -20;
    limitWindowPosition(1920, 1080);
    EXPECT_EQ(windowLeft, 1576);
    EXPECT_EQ(windowTop, 1);

    ReverbPreset preset{-1.0f, 0.9f, 224.5f, 1e30f};
    limitReverbPreset(preset);
    EXPECT_EQ(preset.kreverb1, 0.0f);
    EXPECT_EQ(preset.kreverb2, 0.7f);
    EXPECT_EQ(preset.Treverb1, 224.0f);
    EXPECT_EQ(preset.Treverb2, 1000.0f);
    EqualizerSettings eq{5, 90000, -2.0f, 11.0f, 1.5f};
    limitEqualizerSettings(eq);
    EXPECT_EQ(eq.lowf, 20);
    EXPECT_EQ(eq.highf, 20000);
    EXPECT_EQ(eq.lowg, 0.0f);
    EXPECT_EQ(eq.midg, 10.0f);
    eqOrder = 0;
    limitEqualizerOrder();
    EXPECT_EQ(eqOrder, 1);
    eqOrder = 7;
    limitEqualizerOrder();
    EXPECT_EQ(eqOrder, 4);
}

TEST_F(ConfigTest, WrittenFileHasTheExactLines) {
    readConfiguration();
    playlistEntries[0] = "a.mp3";
    playlistEntries[2] = "/m/b c.mp3";  // entry 1 empty: skipped
    lastIndex = 2;
    lastFolder = "/m/";
    currentIndex = 2;
    windowLeft = -1;
    ASSERT_TRUE(writeConfiguration());
    EXPECT_EQ(fileText(), crlf({" 2", "-1", " 300", " 0", " 0", "0.55", "0.34", "225", "300", "0.45",
                                "0.3", "225", "300", " 0", "200", "8000", "2", "1", "1.2", "1", "100",
                                "1.7", " 0", " 0", " 0", "a.mp3", "/m/b c.mp3", "finlist", "/m/",
                                " 0", "0.2", " 0", " 1", " 1", " 4800", "1", " 1"}));
}

TEST_F(ConfigTest, WrittenFileReadsBackToTheSameSettings) {
    read(file({}));
    reverbMode = 3;
    reverb2 = {0.123457f, 0.7f, 11.0f, 999.0f};
    equalizer = {33, 15000, 0.001f, 9.99f, 3.3f};
    eqOrder = 4;
    speed = 87.5f;
    volume = 0.0345f;
    playlistEntries[0] = "x.mp3";
    playlistEntries[1] = "finlist";
    playlistEntries[2] = "y.mp3";
    lastIndex = 2;
    currentIndex = repeatTo = 2;
    lastFolder = "/srv/music/";
    toMidiSettings = {1.25f, 7, 3, 9000, 2.5f, 0.75f};
    midiDevice = 4;
    const std::string written = configurationText();

    readConfiguration();  // no file: every default
    read(written);
    EXPECT_EQ(configurationText(), written);
    EXPECT_EQ(playlistEntries[2], "y.mp3") << "an entry named finlist does not end the list";
    EXPECT_EQ(volume, 0.0345f);
}

// Reals go out in "%.7g" form even where seven digits do not single out
// their float: such a value reads back as the float nearest its text, a few
// units in the last place away, and writing that gives the same bytes.
TEST_F(ConfigTest, RealsAreWrittenWithSevenDigitsAndRewriteToTheSameBytes) {
    read(file({}));
    reverb3 = {std::nextafter(0.1f, 1.0f), 0.34f, 225.0f, 300.0f};
    equalizer.highg = 1.0f / 3.0f;
    volume = 0.123456789f;
    toMidiSettings.windowFactor = std::nextafter(1.0f, 2.0f);
    const std::string written = configurationText();
    EXPECT_EQ(written.substr(0, written.find("finlist")),
              crlf({" 0", " 0", " 0", " 0", " 0", "0.1", "0.34", "225", "300", "0", "0", "0", "0", " 0", "0", "0",
                    "0", "0", "0.3333333", "0", "40", "0.1234568", " 0", " 0", " 0"}));
    EXPECT_EQ(written.substr(written.size() - 4), " 1\r\n") << "windowFactor";

    read(written);
    EXPECT_EQ(reverb3.kreverb1, 0.1f);
    EXPECT_EQ(configurationText(), written);
}

TEST_F(ConfigTest, FailedWriteLeavesTheOldFileAndNoTemporaryOne) {
    ASSERT_TRUE(writeTextFile(configFileName, "old\r\n"));
    ::chmod(folder.c_str(), 0555);
    if (::access(folder.c_str(), W_OK) != 0) {  // root writes anyway
        EXPECT_FALSE(writeConfiguration());
        EXPECT_EQ(fileText(), "old\r\n");
    }
    ::chmod(folder.c_str(), 0755);
    std::filesystem::remove(configFileName);
    std::filesystem::create_directory(configFileName);  // no rename over it, even for root
    EXPECT_FALSE(writeConfiguration());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ConfigTest, MegabyteLinesNulBytesAndMissingLineEndsAreReadLikeAnyText) {
    const std::string megabyte(1 << 20, '7');
    const std::string longPath = "/music/" + std::string(1 << 20, 'x') + ".mp3";
    read(file({{2, megabyte}, {4, std::string(" 3\0\0\0", 5)}, {5, std::string("\0 2", 3)}},
              {longPath, std::string("a\0.mp3", 6)}) +
         crlf({std::string(1 << 20, '/')}));
    EXPECT_EQ(windowLeft, INT_MAX) << "a number too large for an int saturates";
    EXPECT_EQ(autovolMode, 3) << "the number ends at the first NUL";
    EXPECT_EQ(reverbMode, 0) << "a line that starts with NUL is not a number";
    ASSERT_EQ(lastIndex, 1);
    EXPECT_EQ(playlistLabels[0], "1." + longPath.substr(longPath.size() - 55));
    EXPECT_EQ(playlistEntries[1], std::string("a\0.mp3", 6));
    EXPECT_EQ(lastFolder.size(), std::size_t{1} << 20);

    // Written back and read again, every byte is kept.
    ASSERT_TRUE(writeConfiguration());
    readConfiguration();
    EXPECT_EQ(playlistEntries[0], longPath);
    EXPECT_EQ(playlistEntries[1], std::string("a\0.mp3", 6));
    EXPECT_EQ(lastFolder.size(), std::size_t{1} << 20);

    // Without line ends the whole file is the first line.
    read(" 2 400 300 1 1");
    EXPECT_EQ(currentIndex, 0) << "2, limited to the empty playlist";
    EXPECT_EQ(windowLeft, 400);
    EXPECT_EQ(autovolMode, 0);
    EXPECT_EQ(lastIndex, -1);
}

TEST_F(ConfigTest, APlaylistBlockOfAHundredThousandLinesKeeps401Entries) {
    std::string text = file({});
    text.resize(text.size() - 9);  // the block runs to the end
    for (int i = 1; i <= 100000; ++i) text += "/music/track" + std::to_string(i) + ".mp3\r\n";
    read(text);
    EXPECT_EQ(lastIndex, 400);
    EXPECT_EQ(playlistEntries[399], "/music/track400.mp3");
    EXPECT_EQ(playlistEntries[400], "/music/track100000.mp3");
}

TEST_F(ConfigTest, ListFileBlockHasNoEndMarkerAndSkipsEmptyEntries) {
    playlistEntries[0] = "one.mp3";
    playlistEntries[2] = "finlist";
    lastIndex = 2;
    EXPECT_EQ(playlistBlockText(), "one.mp3\r\n finlist\r\n");
    TextLines empty("");
    readPlaylistBlock(empty);
    EXPECT_EQ(lastIndex, -1);
    EXPECT_EQ(playlistEntries[0], "");
}

}  // namespace
}  // namespace korvane
