// Text the media bus sends: UTF-8 repair, Latin-1, file URLs, track object
// paths and titles from ID3 tags. D-Bus refuses a message with one invalid
// string in it, so each of these guards a whole reply.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "app/mpris/mpris.h"
#include "tests/test_folder.h"

namespace korvane::mpris {
namespace {

TEST(MprisText, ValidUtf8PassesAndEveryInvalidByteIsReadAsLatin1) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"caf\xE9", "caf\xC3\xA9"},                    // Latin-1 e acute
        {"\xC3", "\xC3\x83"},                          // a cut sequence
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},              // overlong "/"
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},  // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},  // above U+10FFFF
        {std::string("a\0b", 3), "a\xEF\xBF\xBD" "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(validUtf8(c.in), c.out) << c.in;
    EXPECT_EQ(latin1ToUtf8("\xC4\xD6\xDC\xFF"), "\xC3\x84\xC3\x96\xC3\x9C\xC3\xBF");
}

TEST(MprisText, FileUrlsArePercentEncodedAndAbsolute) {
    EXPECT_EQ(fileUrl("/music/A b/caf\xE9#1%.mp3"), "file:///music/A%20b/caf%E9%231%25.mp3");
    EXPECT_EQ(fileUrl("/m/\xC3\xA9-_.~x"), "file:///m/%C3%A9-_.~x");
    const std::string relative = fileUrl("song.mp3");
    EXPECT_EQ(relative.rfind("file:///", 0), 0u);
    EXPECT_EQ(relative.substr(relative.size() - 9), "/song.mp3");
}

TEST(MprisText, TrackIdsAreObjectPaths) {
    const std::regex objectPath("(/[A-Za-z0-9_]+)+");
    for (int index : {0, 7, 400}) EXPECT_TRUE(std::regex_match(trackObjectPath(index), objectPath)) << index;
    EXPECT_NE(trackObjectPath(1), trackObjectPath(2));
    EXPECT_EQ(trackObjectPath(-1), "/org/mpris/MediaPlayer2/TrackList/NoTrack");
}

class MprisTitles : public ::testing::Test {
protected:
    void SetUp() override { folder = freshTestFolder("korvane-mpris-"); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // An ID3v2 tag of the given version holding one frame, before some audio.
    static std::string id3v2(int version, const std::string& id, const std::string& body, int frameFlags = 0) {
        const std::size_t size = body.size();
        std::string frame = id;
        if (version == 2) {
            frame += {char(size >> 16), char(size >> 8), char(size)};
        } else {
            const bool syncsafe = version == 4;
            const int shift = syncsafe ? 7 : 8;
            const int mask = syncsafe ? 0x7F : 0xFF;
            for (int i = 3; i >= 0; --i) frame += char((size >> (shift * i)) & mask);
            frame += {'\0', char(frameFlags)};
        }
        frame += body;
        const std::size_t tagSize = frame.size() + 16;  // with padding
        std::string tag = "ID3";
        tag += {char(version), '\0', '\0'};
        for (int i = 3; i >= 0; --i) tag += char((tagSize >> (7 * i)) & 0x7F);
        return tag + frame + std::string(16, '\0') + "\xFF\xFB audio";
    }

    std::filesystem::path folder;
};

TEST_F(MprisTitles, EveryTagEncodingGivesUtf8) {
    const struct {
        int version;
        std::string id, body, title;
    } cases[] = {
        {3, "TIT2", std::string("\0Caf\xE9 ", 6), "Caf\xC3\xA9"},
        {3, "TIT2", std::string("\x01\xFF\xFE" "C\0\xE9\0\0\0", 9), "C\xC3\xA9"},
        {3, "TIT2", std::string("\x01\xFE\xFF\xD8\x3C\xDF\xB5", 7), "\xF0\x9F\x8E\xB5"},
        {4, "TIT2", std::string("\x02\0A\0\xE9", 5), "A\xC3\xA9"},
        {4, "TIT2", "\x03S\xC3\xBC\xC3\x9F", "S\xC3\xBC\xC3\x9F"},
        {4, "TIT2", "\x03" "bad\xFF", "bad\xC3\xBF"},
        {2, "TT2", std::string("\0Old", 4), "Old"},
        {3, "TIT2", std::string("\x01\xFF\xFE\x00\xD8\0\0", 7), "\xEF\xBF\xBD"},  // a lone surrogate
    };
    for (const auto& c : cases) {
        const std::string path = write("t.mp3", id3v2(c.version, c.id, c.body));
        EXPECT_EQ(tagTitle(path), c.title) << "v2." << c.version << " " << c.body;
    }
}

TEST_F(MprisTitles, OtherFramesAndUnreadableFramesAreSteppedOver) {
    std::string tag = id3v2(3, "TPE1", std::string("\0Artist", 7));
    EXPECT_EQ(tagTitle(write("a.mp3", tag)), "");
    // A compressed title is not read; neither is a frame running past the tag.
    EXPECT_EQ(tagTitle(write("c.mp3", id3v2(3, "TIT2", std::string("\0x", 2), 0x80))), "");
    std::string broken = id3v2(3, "TIT2", std::string("\0Title", 6));
    broken[17] = 0x7F;  // the frame claims more than the tag holds
    EXPECT_EQ(tagTitle(write("b.mp3", broken)), "");
}

TEST_F(MprisTitles, Id3v1IsReadWhenThereIsNoId3v2Title) {
    std::string v1 = "TAG" + std::string("Old Latin \xE9") + std::string(19, '\0');
    v1.resize(128, '\0');
    EXPECT_EQ(tagTitle(write("v1.mp3", std::string(500, '\x55') + v1)), "Old Latin \xC3\xA9");
    EXPECT_EQ(tagTitle(write("none.mp3", std::string(500, '\x55'))), "");
    EXPECT_EQ(tagTitle((folder / "missing.mp3").string()), "");
}

TEST_F(MprisTitles, WithoutATagTheTitleIsTheFileName) {
    const std::string latin1Name = write("tr\xE4" "ck.mp3", "no tag");
    EXPECT_EQ(displayTitle(latin1Name), "tr\xC3\xA4" "ck");
    EXPECT_EQ(displayTitle(write(".hidden", "x")), ".hidden");
    EXPECT_EQ(displayTitle(write("t.mp3", id3v2(3, "TIT2", std::string("\0Tagged", 7)))), "Tagged");
}

}  // namespace
}  // namespace korvane::mpris
