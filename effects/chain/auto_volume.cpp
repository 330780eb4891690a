// Output thread, except autoVolumeReset.
#include "effects/chain/auto_volume.h"

#include <algorithm>
#include <atomic>

#include "app/text/start_values.h"
#include "app/window/platform.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"

namespace korvane {

float agcGain = 1.0f;
float envelope = 0.8f;
float heldEnvelope = 0.8f;
float smoothing = 400.0f;
float blockLevel = 0.0f;
double holdUntil = 0.0;
double lastUpdate = 0.0;
float compThreshold = 0.0f;
float compRatio = 0.0f;
float makeupGain = 1.0f;

namespace {

const StartValues initial(agcGain, envelope, heldEnvelope, smoothing, blockLevel, holdUntil, lastUpdate,
                          compThreshold, compRatio, makeupGain);

constexpr float startEnvelope = 0.8f;
// After a reset or near silence the release is fast for this long.
constexpr double holdSeconds = 1.2;
// holdUntil further ahead than this is stale (the clock restarted).
constexpr double staleAhead = 99.0;
constexpr float silentLevel = 0.01f;   // at or below: near silence
constexpr float releaseLevel = 0.05f;  // only louder blocks pull the envelope down
constexpr float hysteresis = 1.12f;
constexpr double fullScale = 32768.0;
constexpr float targetScale = 16384.0f;  // the target peak at volume 1

// Threshold at volume 1 (16-bit units) and ratio, for modes 2..6: 0.83,
// 0.83, 0.73, 0.70 and 0.60 of the target.
struct Compression {
    float threshold;
    float ratio;
};
constexpr Compression compression[7] = {
    {0.0f, 0.0f},      {0.0f, 0.0f},       {13598.72f, 0.44f}, {13598.72f, 0.54f},
    {11960.32f, 0.72f}, {11468.8f, 0.80f}, {9830.4f, 0.87f}};

std::atomic<int> resetRequested{0};
std::atomic<double> resetTime{0.0};  // clock of the request, handed over with it

}  // namespace

void autoVolumeReset() {
    resetTime.store(platform().clock(), std::memory_order_relaxed);
    resetRequested.store(1, std::memory_order_release);
}

void resetAutoVolumeState() { initial.restore(); }

void takeAutoVolumeReset() {
    if (resetRequested.exchange(0, std::memory_order_acquire) == 0) return;
    const double now = resetTime.load(std::memory_order_relaxed);
    agcGain = 1.0f;
    envelope = startEnvelope;
    heldEnvelope = startEnvelope;
    frameAccumulator = forceUpdate;
    peak = 1;
    holdUntil = now + holdSeconds;
    lastUpdate = now;
}

void autoVolumeUpdate() {
    const double now = platform().clock();
    const float level = volume.load(std::memory_order_relaxed);
    const int mode = autovolMode.load(std::memory_order_relaxed);

    holdUntil = std::max(holdUntil, lastUpdate);
    if (holdUntil > now + staleAhead) holdUntil = now;
    lastUpdate = now;
    // In steady playing holdUntil is the last update, so the envelope decays
    // with a time constant of about 40 s whatever the update interval.
    smoothing = lastUpdate > holdUntil + 0.001
                    ? static_cast<float>(std::max(10.0, 40.0 / (lastUpdate - holdUntil)))
                    : 7.0f;

    blockLevel = static_cast<float>(peak / fullScale);
    if (blockLevel > silentLevel) {
        if (blockLevel > releaseLevel)
            envelope = (smoothing * envelope + blockLevel) / (1.0f + smoothing);
    } else {
        holdUntil = lastUpdate + holdSeconds;
    }
    // Attack is immediate.
    envelope = std::max(std::max(envelope, blockLevel), silentLevel);
    heldEnvelope = std::max(heldEnvelope, envelope);
    if (heldEnvelope > hysteresis * envelope) heldEnvelope = hysteresis * envelope;

    agcGain = std::min(0.5f * level / heldEnvelope, maxAgcGain);
    if (mode >= 2 && mode <= 6) {
        compThreshold = compression[mode].threshold * level;
        compRatio = compression[mode].ratio;
    }
    makeupGain = level / (level - (level - compThreshold / targetScale) * compRatio);
}

}  // namespace korvane
