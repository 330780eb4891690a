#include "effects/chain/equalizer.h"

#include <algorithm>
#include <cmath>

#include "app/text/start_values.h"
#include "effects/chain/handover.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"

namespace korvane {

EqChannel eqChannelA;
EqChannel eqChannelB;

namespace {

// The constant of the coefficients: 3.1416, not the exact pi.
constexpr double roughPi = 3.1416;
constexpr int lowestRate = 4000;
constexpr int highestRate = 100000;

Handover<EqChannel> pendingSetup;

// The order of the call in progress (output thread).
int callOrder = 1;

const StartValues initial(eqChannelA, eqChannelB, callOrder);

// One sample through an order-n filter, every intermediate result a 32-bit
// float. The reference input is the input of n - 1 samples before, roughly
// in line with the delay of the n-stage cascade.
template <int n>
float equalize(EqChannel& c, float input) {
    const float p = c.lowCoef;
    const float q = c.highCoef;
    c.low[0] += (input - c.low[0] + eqFloor) * p;
    for (int k = 1; k < n; ++k) c.low[k] += (c.low[k - 1] - c.low[k]) * p;
    c.high[0] += (input - c.high[0] + eqFloor) * q;
    for (int k = 1; k < n; ++k) c.high[k] += (c.high[k - 1] - c.high[k]) * q;

    const float reference = n == 1 ? input : c.past[n - 2];
    const float lowBand = c.low[n - 1];
    const float highBand = reference - c.high[n - 1];
    const float midBand = reference - highBand - lowBand;
    const float output = c.midGain * midBand + c.lowGain * lowBand + c.highGain * highBand;

    // History only as deep as the order uses it.
    for (int k = n - 2; k > 0; --k) c.past[k] = c.past[k - 1];
    if (n > 1) c.past[0] = input;
    return output;
}

}  // namespace

// --- Main thread ---

EqChannel equalizerChannel(const EqualizerSettings& settings, int rate) {
    const double limitedRate = std::max(lowestRate, std::min(highestRate, rate));
    EqChannel channel;
    channel.lowCoef = static_cast<float>(2.0 * std::sin(roughPi * settings.lowf / limitedRate));
    channel.highCoef = static_cast<float>(2.0 * std::sin(roughPi * settings.highf / limitedRate));
    channel.lowGain = settings.lowg;
    channel.midGain = settings.midg;
    channel.highGain = settings.highg;
    channel.low.fill(eqFloor);
    channel.high.fill(eqFloor);
    channel.past.fill(eqFloor);
    return channel;
}

void equalizerSetup() { pendingSetup.publish(equalizerChannel(equalizer, FBS_GET_PLUGRATE())); }

// --- Output thread ---

void resetEqualizerState() { initial.restore(); }

void takeEqualizerSetup() {
    if (const EqChannel* setup = pendingSetup.take()) {
        eqChannelA = *setup;
        eqChannelB = *setup;
    }
    callOrder = eqOrder.load(std::memory_order_relaxed);
}

void equalizerStage() {
    EqChannel& channel = callChannels == 1 || (sampleIndex & 1) == 0 ? eqChannelA : eqChannelB;
    switch (callOrder) {
    case 1: x = equalize<1>(channel, x); break;
    case 2: x = equalize<2>(channel, x); break;
    case 3: x = equalize<3>(channel, x); break;
    case 4: x = equalize<4>(channel, x); break;
    default: break;
    }
}

}  // namespace korvane
