// Mixing, gain and pan, and each vector variant of copy, mix and gain
// against the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/primitives/primitive_table.h"
#include "engine/primitives/primitives.h"

namespace kp = korvane::primitives;

namespace {

constexpr unsigned char guardByte = 0xA5;

std::vector<int16_t> samples(std::initializer_list<int> values) {
    return std::vector<int16_t>(values.begin(), values.end());
}

int bytesOf(const std::vector<int16_t>& buffer) {
    return static_cast<int>(buffer.size() * sizeof(int16_t));
}

}  // namespace

TEST(SampleMix, SaturatesInsteadOfWrapping) {
    const auto a = samples({30000, -30000, 100, 32767, -32768});
    const auto b = samples({30000, -30000, -300, 1, -1});
    std::vector<int16_t> out(a.size());
    MIX16(out.data(), a.data(), b.data(), bytesOf(a));
    EXPECT_EQ(out, samples({32767, -32768, -200, 32767, -32768}));

    auto inPlace = a;
    MIX16(inPlace.data(), inPlace.data(), b.data(), bytesOf(a));
    EXPECT_EQ(inPlace, out);
}

TEST(SampleGain, SaturatesOnOverflowAndRoundsTowardMinusInfinity) {
    const auto src = samples({20000, 10000, -20000, -3, 3, 0});
    std::vector<int16_t> out(src.size());
    SCALE16(out.data(), src.data(), 2.0f, bytesOf(src));
    EXPECT_EQ(out, samples({32767, 20000, -32768, -6, 6, 0}));

    SCALE16(out.data(), src.data(), 0.5f, bytesOf(src));
    EXPECT_EQ(out, samples({10000, 5000, -10000, -2, 1, 0}));

    // Gains far beyond the 16.16 range clamp instead of wrapping the fixed point.
    SCALE16(out.data(), src.data(), 1.0e9f, bytesOf(src));
    EXPECT_EQ(out, samples({32767, 32767, -32768, -32768, 32767, 0}));
    SCALE16(out.data(), src.data(), -1.0e9f, bytesOf(src));
    EXPECT_EQ(out, samples({-32768, -32768, 32767, 32767, -32768, 0}));

    auto inPlace = src;
    SCALE16(inPlace.data(), inPlace.data(), -1.0f, bytesOf(src));
    EXPECT_EQ(inPlace, samples({-20000, -10000, 20000, 3, -3, 0}));
}

TEST(SampleGain, FixedPointIsNearestWithTiesToEvenAndNeverUndefined) {
    EXPECT_EQ(kp::toFixed16(1.0f), 65536);
    EXPECT_EQ(kp::toFixed16(0.85f), 55706);  // 55705.6
    EXPECT_EQ(kp::toFixed16(1.0f / 131072), 0);
    EXPECT_EQ(kp::toFixed16(3.0f / 131072), 2);
    EXPECT_EQ(kp::toFixed16(-0.5f), -32768);
    EXPECT_EQ(kp::toFixed16(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(kp::toFixed16(std::numeric_limits<float>::infinity()), INT32_MAX);
    EXPECT_EQ(kp::toFixed16(-std::numeric_limits<float>::infinity()), INT32_MIN);
}

TEST(SamplePan, ScalesOnlyTheSideWhoseGainIsNotOne) {
    const auto src = samples({1000, 1000, -3, -3, 32767, -32768});
    std::vector<int16_t> out(src.size());
    PAN16(out.data(), src.data(), 0.5f, 1.0f, bytesOf(src));
    EXPECT_EQ(out, samples({500, 1000, -2, -3, 16383, -32768}));

    PAN16(out.data(), src.data(), 1.0f, 0.25f, bytesOf(src));
    EXPECT_EQ(out, samples({1000, 250, -3, -1, 32767, -8192}));

    auto untouched = samples({9, 9, 9, 9, 9, 9});
    PAN16(untouched.data(), src.data(), 0.5f, 0.5f, bytesOf(src));
    EXPECT_EQ(untouched, samples({9, 9, 9, 9, 9, 9}));
}

// ---- Every variant, with tails of every length and buffers at odd addresses

namespace {

struct BlockVariant {
    const char* name;
    bool available;
    void (*copy)(void*, const void*, std::size_t);
    void (*mix16)(void*, const void*, const void*, std::size_t);
    void (*scale16)(void*, const void*, int32_t, std::size_t);
};

void PrintTo(const BlockVariant& variant, std::ostream* out) {
    *out << variant.name;
}

class BlockVariants : public testing::TestWithParam<BlockVariant> {
protected:
    void SetUp() override {
        if (!GetParam().available) {
            GTEST_SKIP() << GetParam().name << " is not offered by this processor";
        }
    }

    // Random bytes at offset 0..15 into a buffer, followed by a guard.
    static std::vector<unsigned char> randomBytes(std::mt19937& random, std::size_t size, std::size_t offset) {
        std::vector<unsigned char> bytes(offset + size + 64, guardByte);
        std::uniform_int_distribution<int> byte(0, 255);
        for (std::size_t i = offset; i < offset + size; ++i) {
            bytes[i] = static_cast<unsigned char>(byte(random));
        }
        return bytes;
    }
};

// Compares a variant's output with the plain one's, guard included.
void expectSameAsPlain(const std::vector<unsigned char>& variant, const std::vector<unsigned char>& plain,
                       std::size_t size, const char* what) {
    ASSERT_EQ(variant.size(), plain.size());
    const auto mismatch = std::mismatch(variant.begin(), variant.end(), plain.begin());
    EXPECT_TRUE(mismatch.first == variant.end())
        << what << " of " << size << " bytes differs at byte " << (mismatch.first - variant.begin());
}

}  // namespace

TEST_P(BlockVariants, EqualPlainOnEveryTailAndRandomLengths) {
    std::mt19937 random(1234);
    std::vector<std::size_t> sizes;
    for (std::size_t size = 0; size <= 67; ++size) {
        sizes.push_back(size);
    }
    std::uniform_int_distribution<std::size_t> length(68, 5000);
    for (int i = 0; i < 400; ++i) {
        sizes.push_back(length(random));
    }
    // Every range of the 16.16 gain: below one, one to two, minus one to zero,
    // and beyond, with both extremes.
    const int32_t gains[] = {0,     1,      32768,  55706,  65535,  65536,     78643,     98304,     131071,
                             131072, -1,    -32768, -65536, -98304, INT32_MAX, INT32_MIN, 0x7FFF0001};
    std::uniform_int_distribution<std::size_t> offsetOf(0, 15);
    std::uniform_int_distribution<int32_t> mixerGain(-131072, 131072);
    std::uniform_int_distribution<int32_t> anyGain(INT32_MIN, INT32_MAX);

    for (const std::size_t size : sizes) {
        const std::size_t offset = offsetOf(random);
        const auto a = randomBytes(random, size, offset);
        const auto b = randomBytes(random, size, offset);
        const std::size_t even = size & ~std::size_t{1};

        std::vector<unsigned char> expected(a.size(), guardByte);
        auto actual = expected;
        kp::plain::copy(expected.data() + offset, a.data() + offset, size);
        GetParam().copy(actual.data() + offset, a.data() + offset, size);
        expectSameAsPlain(actual, expected, size, "copy");
        EXPECT_EQ(std::memcmp(actual.data() + offset, a.data() + offset, size), 0);

        expected.assign(a.size(), guardByte);
        actual = expected;
        kp::plain::mix16(expected.data() + offset, a.data() + offset, b.data() + offset, even);
        GetParam().mix16(actual.data() + offset, a.data() + offset, b.data() + offset, even);
        expectSameAsPlain(actual, expected, even, "mix16");
        actual = a;
        GetParam().mix16(actual.data() + offset, actual.data() + offset, b.data() + offset, even);
        std::fill(actual.begin() + static_cast<std::ptrdiff_t>(offset + even), actual.end(), guardByte);
        expectSameAsPlain(actual, expected, even, "mix16 in place");

        const int32_t gain = size <= 67 ? gains[size % std::size(gains)]
                                        : (size % 2 == 0 ? mixerGain(random) : anyGain(random));
        expected.assign(a.size(), guardByte);
        actual = expected;
        kp::plain::scale16(expected.data() + offset, a.data() + offset, gain, even);
        GetParam().scale16(actual.data() + offset, a.data() + offset, gain, even);
        expectSameAsPlain(actual, expected, even, "scale16");
        actual = a;
        GetParam().scale16(actual.data() + offset, actual.data() + offset, gain, even);
        std::fill(actual.begin() + static_cast<std::ptrdiff_t>(offset + even), actual.end(), guardByte);
        expectSameAsPlain(actual, expected, even, "scale16 in place");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Primitives, BlockVariants,
    testing::Values(BlockVariant{"sse2", kp::cpuFeatures().sse2 != 0, kp::sse2::copy, kp::sse2::mix16,
                                 kp::sse2::scale16},
                    BlockVariant{"avx2", kp::cpuFeatures().avx2 != 0, kp::avx2::copy, kp::avx2::mix16,
                                 kp::avx2::scale16}),
    [](const testing::TestParamInfo<BlockVariant>& variant) { return std::string(variant.param.name); });
