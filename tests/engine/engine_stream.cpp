// The MP3 stream through the host-driven output: what reaches the output
// compared with decoding the whole file in memory, at every MPEG rate; the
// end of a stream; damaged and foreign files; the stream's controls.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "engine/stream/stream.h"
#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

constexpr int kFrames = 600;
constexpr size_t kBufferSamples = 2 * kFrames;

using EngineStream = EngineTest;

bool allZero(const std::vector<int16_t>& samples, size_t from = 0) {
    return std::all_of(samples.begin() + static_cast<long>(from), samples.end(), [](int16_t s) { return s == 0; });
}

size_t roundUpToBuffer(size_t samples, size_t bufferSamples) {
    return (samples + bufferSamples - 1) / bufferSamples * bufferSamples;
}

// Plays a file on a fresh host output and checks that the output holds the
// decoded frames of reference exactly, then zeros up to the end of the last
// buffer.
void expectPlaysLikeInMemoryDecoding(const char* name, int channels, int bytesPerFrame,
                                     const char* reference = nullptr) {
    ASSERT_EQ(startHostOutput(channels), 1);
    const Decoded decoded = decodeInMemory(audioFile(reference != nullptr ? reference : name), 44100, channels);
    ASSERT_GT(decoded.frameBytes.size(), 10u);
    for (const int bytes : decoded.frameBytes) {
        ASSERT_EQ(bytes, bytesPerFrame);
    }
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile(name).c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const Pulled pulled = pullStream();
    EXPECT_TRUE(pulled.ended);
    const size_t bufferSamples = static_cast<size_t>(channels) * kFrames;
    ASSERT_EQ(pulled.samples.size(), roundUpToBuffer(decoded.samples.size(), bufferSamples));
    for (size_t i = 0; i < decoded.samples.size(); ++i) {
        ASSERT_EQ(pulled.samples[i], decoded.samples[i]) << name << " sample " << i;
    }
    EXPECT_TRUE(allZero(pulled.samples, decoded.samples.size()));
}

struct RateCase {
    const char* file;
    int channels;       // of the output
    int bytesPerFrame;  // output bytes per decoded frame
};

class EngineStreamRates : public EngineStream, public ::testing::WithParamInterface<RateCase> {};

// 1152-sample frames at 44.1 kHz copy as they are (4608 bytes); at 48 kHz
// they shrink to 4232 bytes (1058 frames); 576-sample frames of 22.05 kHz
// double, and those of 11.025 kHz grow four times to 9216 bytes, more than
// three 600-frame buffers.
INSTANTIATE_TEST_SUITE_P(EveryRate, EngineStreamRates,
                         ::testing::Values(RateCase{"tone_44100_stereo.mp3", 2, 4608},
                                           RateCase{"tone_48000_stereo.mp3", 2, 4232},
                                           RateCase{"tone_22050_stereo.mp3", 2, 4608},
                                           RateCase{"tone_11025_stereo.mp3", 2, 9216},
                                           RateCase{"tone_44100_mono.mp3", 2, 4608},
                                           RateCase{"tone_44100_stereo.mp3", 1, 2304},
                                           RateCase{"tone_11025_stereo.mp3", 1, 4608}),
                         [](const ::testing::TestParamInfo<RateCase>& param) {
                             std::string name = param.param.file;
                             name = name.substr(0, name.find('.'));
                             return name + (param.param.channels == 2 ? "_to_stereo" : "_to_mono");
                         });

TEST_P(EngineStreamRates, OutputHoldsEveryDecodedFrameAndPadsTheLastBuffer) {
    expectPlaysLikeInMemoryDecoding(GetParam().file, GetParam().channels, GetParam().bytesPerFrame);
}

// The tag's frame holds a whole 22.05 kHz MP3, which libmad would decode.
TEST_F(EngineStream, LeadingId3TagIsSkipped) {
    expectPlaysLikeInMemoryDecoding("tagged_44100_stereo.mp3", 2, 4608, "tone_44100_stereo.mp3");
}

TEST_F(EngineStream, EndedStreamCountsAsPlayingInTheCallThatTakesItsLastBuffer) {
    ASSERT_EQ(startHostOutput(), 1);
    // The last buffer is padded, so the decoder has ended before it is taken.
    ASSERT_NE(decodeInMemory(audioFile("tone_44100_stereo.mp3"), 44100, 2).samples.size() % kBufferSamples, 0u);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    // Created but not playing: the stream waits and does not end.
    pullOnce();
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);
    float volume = 0.0f;
    EXPECT_EQ(FBS_GET_STREAMVOLUME(&volume), 1);

    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const Pulled pulled = pullStream();
    EXPECT_TRUE(pulled.ended);
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 1);
    pullOnce();
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
}

TEST_F(EngineStream, CreateAndPlayDuringAStreamLeaveItUntouched) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::string file = audioFile("tone_44100_stereo.mp3");
    const Decoded decoded = decodeInMemory(file, 44100, 2);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(file.c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_48000_stereo.mp3").c_str()), 0);
    EXPECT_EQ(FBS_PLAY_MP3STREAM(0.5f, 0.5f), 0);
    const Pulled rest = pullStream();
    out.insert(out.end(), rest.samples.begin(), rest.samples.end());
    ASSERT_GE(out.size(), decoded.samples.size());
    EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), out.begin()));
}

TEST_F(EngineStream, DamagedTruncatedAndForeignFilesEndWithoutHanging) {
    ASSERT_EQ(startHostOutput(), 1);
    for (const char* name : {"truncated_44100_stereo.mp3", "damaged_44100_stereo.mp3"}) {
        ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile(name).c_str()), 1) << name;
        ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1) << name;
        const Pulled pulled = pullStream(1000);
        EXPECT_TRUE(pulled.ended) << name;
        EXPECT_GT(pulled.buffers, 10) << name;
    }
    // What decodes of a cut file plays whole.
    const Decoded truncated = decodeInMemory(audioFile("truncated_44100_stereo.mp3"), 44100, 2);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("truncated_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    EXPECT_EQ(pullStream().samples.size(), roundUpToBuffer(truncated.samples.size(), kBufferSamples));

    // No frame at all: the first pull ends the stream, silent.
    for (const char* name : {"not_mp3.mp3", "empty.mp3"}) {
        ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile(name).c_str()), 1) << name;
        ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1) << name;
        EXPECT_TRUE(allZero(pullOnce())) << name;
        EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0) << name;
        float volume = 0.0f;
        EXPECT_EQ(FBS_GET_STREAMVOLUME(&volume), 0) << name;
    }
}

TEST_F(EngineStream, FilesThatCannotBeReadAreRefused) {
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_EQ(FBS_CREATE_MP3STREAM(audioFile("missing.mp3").c_str()), 0);
    EXPECT_EQ(FBS_CREATE_MP3STREAM(KORVANE_TEST_AUDIO_DIR), 0);
    EXPECT_EQ(FBS_CREATE_MP3STREAM(nullptr), 0);
    EXPECT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 0);
    EXPECT_EQ(FBS_SET_STREAMVOLUME(1.0f), 0);
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
}

TEST_F(EngineStream, EndStopsTheDecoderAtOnce) {
    ASSERT_EQ(startHostOutput(), 1);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_11025_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    // The decoder now waits for room, which no pull makes.
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
    EXPECT_FALSE(stream.thread.joinable());
    EXPECT_EQ(stream.fileno, -1);
    pullOnce();
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);
    // A created stream that never played closes its file when ended.
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
    EXPECT_EQ(stream.fileno, -1);
}

TEST_F(EngineStream, VolumeAndPanAreClampedAndApplied) {
    ASSERT_EQ(startHostOutput(), 1);
    const Decoded decoded = decodeInMemory(audioFile("tone_44100_stereo.mp3"), 44100, 2);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    float value = 0.0f;
    FBS_SET_STREAMVOLUME(5.0f);
    FBS_GET_STREAMVOLUME(&value);
    EXPECT_EQ(value, 2.0f);
    FBS_SET_STREAMVOLUME(0.00005f);
    FBS_GET_STREAMVOLUME(&value);
    EXPECT_EQ(value, 0.0f);
    FBS_SET_STREAMPAN(-3.0f);
    FBS_GET_STREAMPAN(&value);
    EXPECT_EQ(value, -1.0f);
    EXPECT_EQ(stream.rightgain.load(), 0.0f);

    // Full left: the right channel is silent, the left untouched.
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, -1.0f), 1);
    void* next = nullptr;
    int channels = 0;
    int frames = 0;
    ASSERT_EQ(FBS_GET_STREAMBUFFER(&next, &channels, &frames), 1);
    EXPECT_EQ(next, stream.ringstart);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(frames, kFrames);
    std::vector<int16_t> out = pullOnce();
    for (size_t i = 0; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], decoded.samples[i]) << "left " << i;
        ASSERT_EQ(out[i + 1], 0) << "right " << i;
    }
    // Volume 0 silences the stream but still takes its buffers.
    FBS_SET_STREAMVOLUME(0.0f);
    const Pulled rest = pullStream();
    EXPECT_TRUE(rest.ended);
    EXPECT_TRUE(allZero(rest.samples));
    EXPECT_EQ(out.size() + rest.samples.size(), roundUpToBuffer(decoded.samples.size(), kBufferSamples));
}

TEST_F(EngineStream, NewBufferSizeGetsNewStreamBuffers) {
    ASSERT_EQ(startHostOutput(2, 256), 1);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    pullOnce();
    // Reopening ends the running stream: its buffers fit the old size.
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 2048, 0), 1);
    float volume = 0.0f;
    EXPECT_EQ(FBS_GET_STREAMVOLUME(&volume), 0);
    const Decoded decoded = decodeInMemory(audioFile("tone_48000_stereo.mp3"), 44100, 2);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_48000_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const Pulled pulled = pullStream();
    EXPECT_EQ(pulled.samples.size(), roundUpToBuffer(decoded.samples.size(), 2 * 2048));
    EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), pulled.samples.begin()));
}

}  // namespace
}  // namespace korvane::engine::test
