// The equalizer stage through the callback: its coefficients, what unit
// gains give at each order, orders it does not know, the separation of the
// two channels, and when its states start again.
#include <cmath>

#include "effects_support.h"

namespace korvane {
namespace {

class EqualizerTest : public CallbackTest {
protected:
    void SetUp() override {
        CallbackTest::SetUp();
        equalizerOn = 1;
    }

    // The settings with every gain at 1, set up for the next call.
    static void unitGains(int order) {
        equalizer = {200, 8000, 1.0f, 1.0f, 1.0f};
        eqOrder = order;
        equalizerSetup();
    }

    static Samples ramp(int frames) {
        Samples samples;
        for (int i = 0; i < frames * 2; ++i) samples.push_back(static_cast<std::int16_t>((i * 7919) % 20000 - 10000));
        return samples;
    }
};

TEST_F(EqualizerTest, CoefficientsUseTheRoughPiAndAtLeast4000Hz) {
    const EqChannel c = equalizerChannel(EqualizerSettings{}, 44100);
    EXPECT_NEAR(c.lowCoef, 0.0284943f, 5e-8f);
    EXPECT_NEAR(c.highCoef, 1.0791037f, 5e-8f);
    EXPECT_EQ(c.lowGain, 2.0f);
    EXPECT_EQ(c.highGain, 1.2f);
    EXPECT_EQ(c.low[3], eqFloor);
    EXPECT_EQ(c.past[2], eqFloor);
    EXPECT_EQ(equalizerChannel({}, 3000).lowCoef, equalizerChannel({}, 4000).lowCoef);
    EXPECT_EQ(equalizerChannel({}, 400000).highCoef, equalizerChannel({}, 100000).highCoef);
}

TEST_F(EqualizerTest, UnitGainsAtOrderOneGiveTheInputBack) {
    unitGains(1);
    const Samples in = ramp(700);
    EXPECT_EQ(process(in), in);
}

TEST_F(EqualizerTest, UnitGainsAtOrderThreeDelayEachChannelByTwoSamples) {
    unitGains(3);
    const Samples in = ramp(700);
    const Samples out = process(in);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 0);
    for (std::size_t i = 4; i < in.size(); ++i) ASSERT_EQ(out[i], in[i - 4]) << "sample " << i;
}

TEST_F(EqualizerTest, OrdersOutsideOneToFourPassSamplesAndLeaveTheStates) {
    equalizer = {300, 3000, 3.0f, 0.2f, 2.0f};
    equalizerSetup();
    const Samples in = ramp(100);
    for (int order : {0, 5, -1}) {
        eqOrder = order;
        EXPECT_EQ(process(in), in) << "order " << order;
        EXPECT_EQ(eqChannelA.low[0], eqFloor);
        EXPECT_EQ(eqChannelB.high[0], eqFloor);
    }
}

TEST_F(EqualizerTest, TheLeftChannelAloneNeverMovesTheRightChannelsState) {
    eqOrder = 4;
    equalizerSetup();
    process(silence(1000));
    const EqChannel afterSilence = eqChannelB;
    equalizerSetup();
    Samples in = ramp(1000);
    for (std::size_t i = 1; i < in.size(); i += 2) in[i] = 0;
    process(in);
    EXPECT_EQ(eqChannelB.low, afterSilence.low);
    EXPECT_EQ(eqChannelB.high, afterSilence.high);
    EXPECT_EQ(eqChannelB.past, afterSilence.past);
    EXPECT_NE(eqChannelA.low, afterSilence.low);
}

TEST_F(EqualizerTest, AnOrderChangeKeepsTheStatesUntilTheNextSetup) {
    eqOrder = 2;
    process(ramp(50));
    const EqChannel before = eqChannelA;
    eqOrder = 4;
    process({});
    EXPECT_EQ(eqChannelA.low, before.low);
    EXPECT_EQ(eqChannelA.past, before.past);
    equalizerSetup();
    process({});
    EXPECT_EQ(eqChannelA.low[0], eqFloor);
    EXPECT_EQ(eqChannelA.past[0], eqFloor);
}

}  // namespace
}  // namespace korvane
