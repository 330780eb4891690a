// The track-length service on generated files: the summary frame's count,
// the frame-by-frame scan when there is none, an ID3v2 tag in front, and
// files with nothing to measure.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/text/number_text.h"
#include "playback/track_length.h"
#include "tests/playback/test_tracks.h"
#include "tests/test_folder.h"

namespace korvane {
namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Length in milliseconds; fails the test when the service refuses.
double lengthMs(const std::string& path) {
    std::string reply = "unchanged";
    const int code = queryLengthService(path, reply);
    EXPECT_EQ(code, lengthServiceOk) << path;
    return parseNumber(reply);
}

// The file's frames without its first one, the summary frame the encoder
// writes. The generated files are 128 kbit/s at 44.1 kHz.
std::string audioFrames(const std::string& bytes) {
    EXPECT_EQ(static_cast<unsigned char>(bytes.at(0)), 0xFF);
    EXPECT_EQ((static_cast<unsigned char>(bytes.at(2)) >> 4) & 15, 9) << "128 kbit/s";
    const std::size_t firstFrame = 144 * 128000 / 44100 + ((bytes.at(2) >> 1) & 1);
    return bytes.substr(firstFrame);
}

class TrackLengthTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = freshTestFolder("korvane-length-");
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::filesystem::path folder;
};

// One MPEG-1 layer III frame at 44.1 kHz lasts 1152 samples, about 26 ms;
// 22.05 kHz frames hold 576 samples, also about 26 ms.
constexpr double frameMs = 1152 * 1000.0 / 44100;

TEST_F(TrackLengthTest, GeneratedFilesMeasureTheirThreeSecondsWithinAFewFrames) {
    // The encoder adds its delay and padding to the 3 s of tone.
    for (const char* name : {"tone_44100_stereo", "tone_48000_stereo", "tone_22050_stereo",
                             "tone_11025_stereo", "tone_44100_mono"}) {
        const double ms = lengthMs(testTrack(name));
        EXPECT_GE(ms, 3000.0) << name;
        EXPECT_LE(ms, 3000.0 + 3 * 2 * frameMs) << name;
    }
}

TEST_F(TrackLengthTest, ScanningTheFramesAgreesWithTheSummaryFrameWithinOneFrame) {
    // The first frame of a generated file is its summary; without it the
    // service has to add up the frames.
    const std::string scanned =
        write("scanned.mp3", audioFrames(readBytes(testTrack("tone_44100_stereo"))));

    const double summary = lengthMs(testTrack("tone_44100_stereo"));
    EXPECT_NEAR(lengthMs(scanned), summary, frameMs);
}

TEST_F(TrackLengthTest, AnId3v2TagInFrontIsSkippedEvenWhenItLooksLikeAudio) {
    const std::string audio = audioFrames(readBytes(testTrack("tone_44100_stereo")));
    // A tag body of five frame-shaped pieces, as a picture's bytes may happen
    // to be, which the frame scan would otherwise count as 130 ms of audio.
    std::string body;
    for (int i = 0; i < 5; ++i) {
        body += std::string("\xFF\xFB\x90\x64", 4);
        body += std::string(413, '\0');
    }
    const std::uint32_t size = static_cast<std::uint32_t>(body.size());
    std::string tag = "ID3";
    tag += std::string("\x03\x00\x00", 3);
    for (int shift : {21, 14, 7, 0}) tag += static_cast<char>((size >> shift) & 0x7F);
    const std::string tagged = write("tagged.mp3", tag + body + audio);
    const std::string plain = write("plain.mp3", audio);
    EXPECT_EQ(lengthMs(tagged), lengthMs(plain));

    // A header claiming more than the file holds is no tag: the stream plays
    // the file from its start, and the length counts the same audio.
    const std::string oversized = write("oversized.mp3", std::string("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + audio);
    EXPECT_NEAR(lengthMs(oversized), lengthMs(plain), 30.0);
}

TEST_F(TrackLengthTest, DamagedAndCutFilesGiveWhatTheirFramesHold) {
    EXPECT_GT(lengthMs(testTrack("damaged_44100_stereo")), 1000.0);
    // Cut in the middle, with or without the summary frame, which counts
    // bytes the file no longer holds: the frames that are there count.
    const std::string whole = readBytes(testTrack("tone_44100_stereo"));
    const std::string audio = audioFrames(whole);
    for (const std::string& bytes : {audio, whole}) {
        const std::string half = write("half.mp3", bytes.substr(0, bytes.size() / 2));
        const double ms = lengthMs(half);
        EXPECT_GT(ms, 1300.0) << bytes.size();
        EXPECT_LT(ms, 1700.0) << bytes.size();
    }
}

TEST_F(TrackLengthTest, FilesWithoutFramesOrThatCannotOpenAreRefused) {
    const struct {
        std::string path;
        int code;
    } cases[] = {
        {testTrack("not_mp3"), lengthServiceNoFrames},
        {testTrack("empty"), lengthServiceNoFrames},
        {write("noise.mp3", std::string(5000, '\xFF')), lengthServiceNoFrames},
        {folder.string(), lengthServiceNoFrames},
        {(folder / "missing.mp3").string(), lengthServiceCannotOpen},
    };
    for (const auto& c : cases) {
        std::string reply = "unchanged";
        EXPECT_EQ(queryLengthService(c.path, reply), c.code) << c.path;
        EXPECT_EQ(reply, "unchanged") << c.path;
    }
}

}  // namespace
}  // namespace korvane
