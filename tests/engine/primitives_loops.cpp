// Looping playback of a wave: forward and backward, at any speed, passes
// counted down to silence, and muted advancing that matches rendering.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/primitives/primitives.h"

namespace {

// A mono wave whose loop is the whole allocation, so that a read outside
// the loop is a heap overflow under the address sanitizer.
struct MonoLoop {
    std::vector<int16_t> wave;
    void* pos;
    int loops;

    MonoLoop(std::initializer_list<int> values, int loopCount)
        : wave(values.begin(), values.end()), pos(wave.data()), loops(loopCount) {}

    void* start() { return wave.data(); }
    void* end() { return wave.data() + wave.size(); }
    long frame() const { return static_cast<const int16_t*>(pos) - wave.data(); }
};

std::vector<int16_t> samples(std::initializer_list<int> values) {
    return std::vector<int16_t>(values.begin(), values.end());
}

}  // namespace

TEST(LoopPlayback, LastPassEndsInZerosWithLoopsAtZero) {
    MonoLoop loop({1, 2, 3, 4}, 1);
    std::vector<int16_t> out(8, 99);
    COPYRIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 16);
    EXPECT_EQ(out, samples({1, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_EQ(loop.loops, 0);
    EXPECT_EQ(loop.frame(), 4);  // rests at the loop's end

    // A stopped sound renders silence and stays where it is.
    std::fill(out.begin(), out.end(), 99);
    COPYRIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 16);
    EXPECT_EQ(out, samples({0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(loop.loops, 0);
}

TEST(LoopPlayback, ContinuesAcrossPassesAndCallsFromWhereItStopped) {
    std::vector<int16_t> wave = {10, 11, 20, 21, 30, 31};  // three stereo frames
    void* pos = wave.data() + 2;
    int loops = 3;
    std::vector<int16_t> out(8);
    COPYRIGHT32(out.data(), wave.data(), &pos, wave.data() + 6, &loops, 16);
    EXPECT_EQ(out, samples({20, 21, 30, 31, 10, 11, 20, 21}));
    EXPECT_EQ(loops, 2);
    EXPECT_EQ(pos, wave.data() + 4);

    // Odd sizes: whole frames, the partial frame's bytes zero.
    std::vector<unsigned char> odd(7, 0xEE);
    COPYRIGHT32(odd.data(), wave.data(), &pos, wave.data() + 6, &loops, 7);
    EXPECT_EQ(std::vector<unsigned char>(odd.begin() + 4, odd.end()), std::vector<unsigned char>(3, 0));
    EXPECT_EQ(pos, wave.data());
    EXPECT_EQ(loops, 1);
}

TEST(LoopPlayback, SpeedHalfRepeatsAndSpeedTwoSkipsFrames) {
    MonoLoop slow({1, 2, 3, 4}, 5);
    std::vector<int16_t> out(8);
    COPYSLICERIGHT16(out.data(), slow.start(), &slow.pos, slow.end(), &slow.loops, 0.5f, 16);
    EXPECT_EQ(out, samples({1, 1, 2, 2, 3, 3, 4, 4}));
    EXPECT_EQ(slow.loops, 4);

    MonoLoop fast({1, 2, 3, 4}, 5);
    COPYSLICERIGHT16(out.data(), fast.start(), &fast.pos, fast.end(), &fast.loops, 2.0f, 16);
    EXPECT_EQ(out, samples({1, 3, 1, 3, 1, 3, 1, 3}));
    EXPECT_EQ(fast.loops, 1);
}

TEST(LoopPlayback, StepsLongerThanTheLoopWrapModuloItsLength) {
    MonoLoop loop({0, 1, 2}, 100);
    std::vector<int16_t> out(6);
    COPYSLICERIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 7.0f, 12);
    EXPECT_EQ(out, samples({0, 1, 2, 0, 1, 2}));  // 7 frames = two loops + 1
    EXPECT_EQ(loop.loops, 94);

    MonoLoop back({0, 1, 2}, 100);
    back.pos = back.wave.data() + 2;
    COPYSLICELEFT16(out.data(), back.start(), &back.pos, back.end(), &back.loops, -7.0f, 12);
    EXPECT_EQ(out, samples({2, 1, 0, 2, 1, 0}));
    EXPECT_EQ(back.loops, 94);
}

TEST(LoopPlayback, BackwardPlaysTheFirstFrameAndWrapsToTheLastOne) {
    MonoLoop loop({1, 2, 3, 4}, 2);
    loop.pos = loop.wave.data() + 2;
    std::vector<int16_t> out(8, 99);
    COPYSLICELEFT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, -1.0f, 16);
    EXPECT_EQ(out, samples({3, 2, 1, 4, 3, 2, 1, 0}));
    EXPECT_EQ(loop.loops, 0);
    EXPECT_EQ(loop.frame(), 0);  // rests at the loop's start

    // A position on or past the end, or before the start, is wrapped into the loop.
    MonoLoop outside({1, 2, 3, 4}, 9);
    outside.pos = outside.end();
    COPYSLICELEFT16(out.data(), outside.start(), &outside.pos, outside.end(), &outside.loops, -1.0f, 4);
    EXPECT_EQ(out[0], 1);
    outside.pos = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(outside.start()) - 2);
    COPYSLICERIGHT16(out.data(), outside.start(), &outside.pos, outside.end(), &outside.loops, 1.0f, 4);
    EXPECT_EQ(out[0], 4);
}

TEST(LoopPlayback, RefusesUnusableArguments) {
    MonoLoop loop({1, 2, 3, 4}, 2);
    std::vector<int16_t> out(4, 99);
    COPYSLICERIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, -1.0f, 8);
    COPYSLICELEFT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 1.0f, 8);
    COPYSLICERIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 1.0f, 7);
    COPYSLICERIGHT32(out.data(), loop.start(), &loop.pos, loop.end(), &loop.loops, 1.0f, 6);
    COPYRIGHT32(out.data(), loop.start(), &loop.pos, loop.wave.data() + 1, &loop.loops, 8);  // loop < a frame
    COPYRIGHT16(out.data(), loop.start(), nullptr, loop.end(), &loop.loops, 8);
    COPYRIGHT16(out.data(), loop.start(), &loop.pos, loop.end(), nullptr, 8);
    MOVERIGHT32(loop.start(), &loop.pos, loop.end(), &loop.loops, 6);
    EXPECT_EQ(out, samples({99, 99, 99, 99}));
    EXPECT_EQ(loop.frame(), 0);
    EXPECT_EQ(loop.loops, 2);
}

// A muted sound must be exactly where it would be had it been heard.
TEST(LoopPlayback, MovingMatchesRenderingAtEverySpeed) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> speedOf(0.01f, 40.0f);
    std::uniform_int_distribution<int> lengthOf(1, 50);
    std::uniform_int_distribution<int> loopsOf(1, 6);
    std::uniform_int_distribution<int> sizeOf(1, 300);
    for (int round = 0; round < 400; ++round) {
        const bool stereo = round % 2 == 0;
        const bool backward = round % 4 >= 2;
        const int frameBytes = stereo ? 4 : 2;
        const float speed = (round % 8 < 4 ? 1.0f : speedOf(random)) * (backward ? -1.0f : 1.0f);
        std::vector<unsigned char> wave(static_cast<std::size_t>(lengthOf(random) * frameBytes));
        const int size = sizeOf(random) * frameBytes;
        std::vector<unsigned char> out(static_cast<std::size_t>(size));
        std::uniform_int_distribution<std::size_t> startOf(0, wave.size() / frameBytes - 1);
        void* const start = wave.data() + startOf(random) * frameBytes;
        void* copyPos = start;
        void* movePos = start;
        int copyLoops = loopsOf(random);
        int moveLoops = copyLoops;
        void* const loopEnd = wave.data() + wave.size();
        if (backward) {
            (stereo ? COPYSLICELEFT32 : COPYSLICELEFT16)(out.data(), wave.data(), &copyPos, loopEnd, &copyLoops,
                                                         speed, size);
            (stereo ? MOVESLICELEFT32 : MOVESLICELEFT16)(wave.data(), &movePos, loopEnd, &moveLoops, speed, size);
        } else if (speed == 1.0f) {
            (stereo ? COPYRIGHT32 : COPYRIGHT16)(out.data(), wave.data(), &copyPos, loopEnd, &copyLoops, size);
            (stereo ? MOVERIGHT32 : MOVERIGHT16)(wave.data(), &movePos, loopEnd, &moveLoops, size);
        } else {
            (stereo ? COPYSLICERIGHT32 : COPYSLICERIGHT16)(out.data(), wave.data(), &copyPos, loopEnd, &copyLoops,
                                                           speed, size);
            (stereo ? MOVESLICERIGHT32 : MOVESLICERIGHT16)(wave.data(), &movePos, loopEnd, &moveLoops, speed, size);
        }
        ASSERT_EQ(movePos, copyPos) << "round " << round << ", speed " << speed;
        ASSERT_EQ(moveLoops, copyLoops) << "round " << round << ", speed " << speed;
    }
}
