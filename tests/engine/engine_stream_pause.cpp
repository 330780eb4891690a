// Holding the MP3 stream: nothing of it is taken while held, it resumes with
// the buffer that would have come next, and ending a held stream ends it.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/stream/stream.h"
#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

using EngineStreamPause = EngineTest;

bool allZero(const std::vector<int16_t>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](int16_t s) { return s == 0; });
}

TEST_F(EngineStreamPause, HeldStreamIsSilentStillPlayingAndResumesWhereItStood) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::string file = audioFile("tone_44100_stereo.mp3");
    const Decoded decoded = decodeInMemory(file, 44100, 2);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(file.c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    std::vector<int16_t> out;
    for (int i = 0; i < 20; ++i) {
        const std::vector<int16_t> buffer = pullOnce();
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    ASSERT_FALSE(allZero(out));

    ASSERT_EQ(FBS_PAUSE_MP3STREAM(1), 1);
    // Far longer than the ring: a held stream neither drains nor ends.
    for (int i = 0; i < 400; ++i) {
        ASSERT_TRUE(allZero(pullOnce())) << "pull " << i;
        ASSERT_EQ(FBS_GET_PLAYINGSTREAMS(), 1) << "pull " << i;
    }
    float volume = 0.0f;
    EXPECT_EQ(FBS_GET_STREAMVOLUME(&volume), 1);

    ASSERT_EQ(FBS_PAUSE_MP3STREAM(0), 1);
    const Pulled rest = pullStream();
    EXPECT_TRUE(rest.ended);
    out.insert(out.end(), rest.samples.begin(), rest.samples.end());
    // Nothing lost, nothing repeated: the output is the file's audio.
    ASSERT_GE(out.size(), decoded.samples.size());
    EXPECT_TRUE(std::equal(decoded.samples.begin(), decoded.samples.end(), out.begin()));
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(decoded.samples.size()), out.end(),
                            [](int16_t s) { return s == 0; }));
}

TEST_F(EngineStreamPause, EndingAHeldStreamEndsItAndTheNextStreamPlays) {
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_EQ(FBS_PAUSE_MP3STREAM(1), 0);  // no stream
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    pullOnce();
    ASSERT_EQ(FBS_PAUSE_MP3STREAM(1), 1);
    pullOnce();
    // The decoder waits for room behind the held ring; ending stops it.
    EXPECT_EQ(FBS_END_MP3STREAM(), 1);
    EXPECT_FALSE(stream.thread.joinable());
    EXPECT_EQ(stream.fileno, -1);
    pullOnce();
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 0);
    EXPECT_EQ(FBS_PAUSE_MP3STREAM(0), 0);

    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const Pulled pulled = pullStream();
    EXPECT_TRUE(pulled.ended);
    EXPECT_GT(pulled.buffers, 100);  // about three seconds of 600-frame buffers
}

}  // namespace
}  // namespace korvane::engine::test
