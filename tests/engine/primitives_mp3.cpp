// Decoded MP3 frames to 16-bit, and writing them (whole or resampled) and
// zero padding into a ring that wraps.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "engine/primitives/primitives.h"

namespace {

std::vector<int16_t> samples(std::initializer_list<int> values) {
    return std::vector<int16_t>(values.begin(), values.end());
}

}  // namespace

TEST(Mp3FrameConversion, SaturatesFullScaleAndShiftsByThirteen) {
    const int32_t left[] = {0x10000000, -0x10000000, 0x02000000, 0x0FFFFFFF, -0x10000001, -1};
    const int32_t right[] = {0x7FFFFFFF, INT32_MIN, -0x02000000, 0x1FFF, 0x2000, -0x2000};
    std::vector<int16_t> stereo(12);
    SCALEMP3FRAME_22_16(stereo.data(), left, right, 6);
    EXPECT_EQ(stereo, samples({32767, 32767, -32768, -32768, 4096, -4096, 32767, 0, -32768, 1, -1, -1}));

    // Mono from stereo: floor((l + r) / 4) of the converted samples.
    std::vector<int16_t> mono(6);
    SCALEMP3FRAME_21_16(mono.data(), left, right, 6);
    EXPECT_EQ(mono, samples({16383, -16384, 0, 8191, -8192, -1}));

    std::vector<int16_t> doubled(6);
    SCALEMP3FRAME_12_16(doubled.data(), left, 3);
    EXPECT_EQ(doubled, samples({32767, 32767, -32768, -32768, 4096, 4096}));

    std::vector<int16_t> single(3, 99);
    SCALEMP3FRAME_11_16(single.data(), left, 2);
    EXPECT_EQ(single, samples({32767, -32768, 99}));
}

TEST(Mp3RingWrite, CopiesWholeWordsAndWrapsAtTheEnd) {
    std::vector<int16_t> ring(8, 0);
    const auto src = samples({1, 2, 3, 4, 5, 6, 7});
    void* pos = ring.data() + 6;
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 8, src.data(), 14);  // three words; the odd half is left
    EXPECT_EQ(ring, samples({3, 4, 5, 6, 0, 0, 1, 2}));
    EXPECT_EQ(pos, ring.data() + 4);

    // Ending exactly at the end leaves the position at the start, never on the end.
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 8, src.data(), 8);
    EXPECT_EQ(pos, ring.data());

    ZEROBUFFER(ring.data(), &pos, ring.data() + 8, 0);
    pos = ring.data() + 7;
    ZEROBUFFER(ring.data(), &pos, ring.data() + 8, 6);
    EXPECT_EQ(ring, samples({0, 0, 5, 6, 1, 2, 3, 0}));
    EXPECT_EQ(pos, ring.data() + 2);

    // A position outside the ring is refused.
    pos = ring.data() + 9;
    ZEROBUFFER(ring.data(), &pos, ring.data() + 8, 4);
    COPYMP3FRAME(ring.data(), &pos, ring.data() + 8, src.data(), 4);
    EXPECT_EQ(ring, samples({0, 0, 5, 6, 1, 2, 3, 0}));
}

TEST(Mp3RingWrite, RatioHalfWritesEverySourceFrameTwice) {
    const auto src = samples({10, 11, 20, 21, 30, 31});
    std::vector<int16_t> ring(10, 0);
    void* pos = ring.data() + 6;
    COPYSLICEMP3FRAME32(ring.data(), &pos, ring.data() + 10, src.data(), 0.5f, 16);
    EXPECT_EQ(ring, samples({20, 21, 20, 21, 0, 0, 10, 11, 10, 11}));
    EXPECT_EQ(pos, ring.data() + 4);

    std::vector<int16_t> monoRing(5, 0);
    void* monoPos = monoRing.data() + 3;
    COPYSLICEMP3FRAME16(monoRing.data(), &monoPos, monoRing.data() + 5, src.data(), 0.5f, 8);
    EXPECT_EQ(monoRing, samples({11, 11, 0, 10, 10}));
    EXPECT_EQ(monoPos, monoRing.data() + 2);
}

// One 1152-frame MPEG frame at 48000 Hz into a 44100 Hz ring: 4608 bytes
// become 4232 (1058 frames), output frame k taking source frame
// floor(k x step / 65536) with step = round(48000 / 44100 x 65536).
TEST(Mp3RingWrite, ResamplesFortyEightKilohertzAcrossTheRingEnd) {
    std::vector<int16_t> src(2 * 1152);
    for (int frame = 0; frame < 1152; ++frame) {
        src[2 * frame] = static_cast<int16_t>(frame);
        src[2 * frame + 1] = static_cast<int16_t>(-frame);
    }
    const float ratio = 48000.0f / 44100.0f;
    const auto step = static_cast<int64_t>(std::nearbyint(static_cast<double>(ratio) * 65536.0));
    ASSERT_EQ(step, 71332);
    std::vector<int16_t> ring(2 * 1800, 0);
    void* pos = ring.data() + 2 * 1000;
    COPYSLICEMP3FRAME32(ring.data(), &pos, ring.data() + ring.size(), src.data(), ratio, 4232);
    EXPECT_EQ(pos, ring.data() + 2 * (1058 - 800));
    for (int k = 0; k < 1058; ++k) {
        const std::size_t at = static_cast<std::size_t>(2 * ((1000 + k) % 1800));
        const auto expected = static_cast<int16_t>(k * step >> 16);
        ASSERT_EQ(ring[at], expected) << "output frame " << k;
        ASSERT_EQ(ring[at + 1], -expected) << "output frame " << k;
    }
    EXPECT_EQ(ring[2 * 257], 1150);
}
