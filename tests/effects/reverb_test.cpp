// The reverb: where its echoes land and how loud, the taps of each mode,
// delays kept inside the line, and the line cleared by mode 0.
#include <cmath>
#include <limits>

#include "effects_support.h"

namespace korvane {
namespace {

using ReverbTest = CallbackTest;

TEST_F(ReverbTest, AnImpulseOnTheLeftComesBackOnTheRightAtBothTaps) {
    reverbMode = 1;
    reverbSetup();
    Samples in(30000, 0);
    in[0] = 1000;
    const Samples out = process(in);
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[19845], 230) << "0.23 on the right, 19845 samples later";
    EXPECT_EQ(out[26461], 154) << "(1 - 0.23) x 0.2 = 0.154, 26461 samples later";
    for (std::size_t i = 1; i < out.size(); ++i)
        ASSERT_EQ(out[i], i == 19845 || i == 26461 ? out[i] : 0) << "sample " << i;
}

TEST_F(ReverbTest, TapsFollowTheModeThePresetsAndTheOutput) {
    const ReverbPreset two{0.45f, 0.3f, 225.0f, 300.0f};
    ReverbPreset three{0.5f, 0.4f, 1000.0f, 10.0f};
    const ReverbTaps one = reverbTaps(1, two, three, 44100, 2);
    EXPECT_EQ(one.delay1, 19844);
    EXPECT_EQ(one.delay2, 26460);
    EXPECT_EQ(one.k1, 0.23f);
    EXPECT_FLOAT_EQ(one.k2, 0.154f);
    const ReverbTaps fromThree = reverbTaps(3, two, three, 44100, 2);
    EXPECT_EQ(fromThree.delay1, 88200);
    EXPECT_EQ(fromThree.delay2, 882);
    EXPECT_EQ(fromThree.k2, 0.5f * 0.4f);
    EXPECT_EQ(reverbTaps(2, two, three, 44100, 2).k1, 0.45f);
    EXPECT_EQ(reverbTaps(1, two, three, 44100, 1).delay1, 9922) << "whole frames in mono";
    EXPECT_EQ(reverbTaps(0, two, three, 44100, 2).k1, 0.0f);
}

TEST_F(ReverbTest, DelaysStayInsideTheLineWhateverThePresetHolds) {
    const ReverbPreset two{};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float milliseconds;
        int rate;
        int delay;
    } cases[] = {{1000.0f, 48000, 96000}, {3000.0f, 48000, reverbLineSize - 4},
                 {3e9f, 44100, reverbLineSize - 4}, {0.0f, 44100, 2}, {-5.0f, 44100, 2}, {nan, 44100, 2}};
    for (const auto& c : cases) {
        const ReverbPreset three{0.5f, 0.5f, c.milliseconds, 300.0f};
        EXPECT_EQ(reverbTaps(3, two, three, c.rate, 2).delay1, c.delay) << c.milliseconds << " ms";
    }
}

TEST_F(ReverbTest, ModeZeroClearsTheLineAtTheNextBuffer) {
    reverbMode = 3;
    reverbSetup();
    process(Samples(4000, 3000));
    ASSERT_NE(reverbLine[100], 0.0f);
    reverbMode = 0;
    reverbSetup();
    EXPECT_NE(reverbLine[100], 0.0f) << "the line belongs to the output thread until it takes the request";
    process({});
    EXPECT_TRUE(std::all_of(std::begin(reverbLine), std::end(reverbLine), [](float v) { return v == 0.0f; }));
}

}  // namespace
}  // namespace korvane
