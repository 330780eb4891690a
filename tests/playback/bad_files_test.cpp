// The files a music collection holds besides good MP3s, each played as the
// first of two playlist entries: it plays, or plays silently after the
// length notice, or cannot be opened (the notices, then "yes" to the
// removal question); in every case the good entry plays next.
#include <fcntl.h>

#include <optional>

#include "app/text/text_file.h"
#include "playback_support.h"
#include "tests/file_bytes.h"
#include "tests/file_rights.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

enum class Outcome { Plays, PlaysSilentlyWithoutLength, CannotOpen };

struct BadTrack {
    const char* name;
    // Makes the file in the working folder; its path.
    std::string (*make)();
    Outcome outcome;
    const char* lengthText = "";  // when it plays
    bool obeyRights = false;      // root's permission override put aside
};

void PrintTo(const BadTrack& track, std::ostream* out) { *out << track.name; }

std::string fileOf(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::absolute(path).parent_path());
    EXPECT_TRUE(writeTextFile(path, bytes));
    return path;
}

std::string tone() { return bytesOf(testTrack("tone_44100_stereo")); }

const BadTrack badTracks[] = {
    {"Empty", [] { return fileOf("empty.mp3", ""); }, Outcome::PlaysSilentlyWithoutLength},
    {"TagLargerThanTheFile", [] { return fileOf("large tag.mp3", id3Header(0, 0x0FFFFFFF) + tone()); },
     Outcome::Plays, "0:03"},
    {"TagOfSizeZero", [] { return fileOf("zero tag.mp3", id3Header(0, 0) + tone()); }, Outcome::Plays, "0:03"},
    {"UnsynchronisedTag",
     [] {
         const std::string body("TXXX\0\0\0\x08\0\0\0a\xFF\0\xFB\x90\0", 18);
         return fileOf("unsynchronised.mp3", id3Header(0x80, body.size()) + body + tone());
     },
     Outcome::Plays, "0:03"},
    {"FreeFormat", [] { return testTrack("free_44100_stereo"); }, Outcome::Plays, "0:03"},
    {"LayerII", [] { return testTrack("layer2_44100_stereo"); }, Outcome::Plays, "0:03"},
    {"LayerI", [] { return testTrack("layer1_48000_mono"); }, Outcome::Plays, "0:02"},
    {"SpacesAndUtf8InThePath", [] { return fileOf("a folder/ünïcödé ♫ song.mp3", tone()); }, Outcome::Plays,
     "0:03"},
    {"NulByteInThePath",
     [] {
         fileOf("a", tone());  // what the text before the NUL names
         return std::string("a\0.mp3", 6);
     },
     Outcome::CannotOpen},
    {"Folder",
     [] {
         fs::create_directory("folder.mp3");
         return std::string("folder.mp3");
     },
     Outcome::CannotOpen},
    {"Unreadable",
     [] {
         const std::string path = fileOf("unreadable.mp3", tone());
         fs::permissions(path, fs::perms::none);
         return path;
     },
     Outcome::CannotOpen, "", true},
};

class BadTrackTest : public PlaybackTest, public ::testing::WithParamInterface<BadTrack> {};

TEST_P(BadTrackTest, GetsItsNoticesAndTheNextTrackPlays) {
    const BadTrack& bad = GetParam();
    std::optional<PermissionBitsObeyed> asAUser;
    if (bad.obeyRights) asAUser.emplace();
    const std::string path = bad.make();
    if (bad.obeyRights && ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0)
        GTEST_SKIP() << "the file stays readable";
    const std::string good = playableTracks()[1];
    setPlaylist({path, good});
    if (bad.outcome == Outcome::CannotOpen) desk.answerOkCancel(true);  // remove it
    long loudSamples = 0;
    heard = [&](const std::int16_t* samples, int count) {
        for (int i = 0; i < count; ++i) loudSamples += samples[i] > 1000 || samples[i] < -1000;
    };

    startAt(0);
    const std::vector<std::string> noLength{"error lngtrk=0 " + path};
    switch (bad.outcome) {
    case Outcome::Plays:
        EXPECT_TRUE(desk.dialogs().empty()) << dialogTexts(DialogKind::Message).front();
        EXPECT_EQ(lengthText, bad.lengthText);
        EXPECT_EQ(trackTitle, "1." + path.substr(path.size() > 38 ? path.size() - 38 : 0));
        EXPECT_EQ(streamsAfterAMoment(), 1);
        break;
    case Outcome::PlaysSilentlyWithoutLength:
        EXPECT_EQ(dialogTexts(DialogKind::Message), noLength);
        break;
    case Outcome::CannotOpen:
        EXPECT_EQ(dialogTexts(DialogKind::Message),
                  (std::vector<std::string>{noLength[0], "cant open " + path + " !"}));
        EXPECT_EQ(dialogTexts(DialogKind::Question), std::vector<std::string>{"remove 1." + path + " ?"});
        EXPECT_EQ(entries(), std::vector<std::string>{good});
        break;
    }
    ASSERT_GT(runUntilTrackStart(20.0), 0.0) << "no track started after it";
    if (bad.outcome == Outcome::Plays)
        EXPECT_GT(loudSamples, 10000) << "it was heard";
    else
        EXPECT_EQ(loudSamples, 0);
    EXPECT_EQ(trackPath, good);
    EXPECT_EQ(streamsAfterAMoment(), 1);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadTrackTest, ::testing::ValuesIn(badTracks),
                         [](const ::testing::TestParamInfo<BadTrack>& track) { return track.param.name; });

using TruncatedTrackTest = PlaybackTest;

TEST_F(TruncatedTrackTest, AFileCutAtAnyPointPlaysWhatItHoldsAndTheNextTrackFollows) {
    const std::string whole = tone();
    const std::string good = playableTracks()[1];
    for (std::size_t cut = 997; cut < whole.size(); cut += 997) {
        const std::string path = fileOf("cut.mp3", whole.substr(0, cut));
        setPlaylist({path, good});
        startAt(0);
        EXPECT_NEAR(trackLength, 3.0 * cut / whole.size(), 0.1) << "what is left, cut at " << cut;
        ASSERT_GT(runUntilTrackStart(20.0), 0.0) << "cut at " << cut;
        EXPECT_EQ(trackPath, good) << "cut at " << cut;
        FBS_END_MP3STREAM();
    }
    EXPECT_TRUE(desk.dialogs().empty());
}

}  // namespace
}  // namespace korvane
