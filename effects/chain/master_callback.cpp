// Output thread only, except resetSpeedStage. Shared settings are read once
// per call, so a change made by the main thread applies from the next buffer.
#include "effects/chain/master_callback.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "app/text/start_values.h"
#include "app/window/platform.h"
#include "effects/chain/analysis_ring.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/output_flags.h"
#include "effects/chain/reverb.h"
#include "engine/fbs.h"

namespace korvane {

std::atomic<int> plugBits{16};
std::atomic<int> plugRate{44100};
std::atomic<int> plugChannels{2};

int sampleIndex = 0;
float x = 0.0f;
int callChannels = 2;
int peak = 1;
int frameAccumulator = forceUpdate;

namespace {

const StartValues initial(plugBits, plugRate, plugChannels, sampleIndex, x, callChannels, peak,
                          frameAccumulator);

}  // namespace

void resetCallbackState() {
    initial.restore();
    resetSpeedStage();
}

namespace {

// A track is over once its stream has ended and the output has had no sound
// for this long.
constexpr double silenceBeforeEnd = 2.0;
// lastSoundTime further ahead than this is stale (the clock restarted).
constexpr double staleAhead = 99.0;
// A peak that reaches this is sound.
constexpr int soundPeak = 2;

// Speeds from here up play without the speed stage.
constexpr float fullSpeed = 99.999f;

// Null until the main thread has prepared the ring; then never changes.
std::atomic<std::int32_t*> speedRing{nullptr};
std::int32_t* callRing = nullptr;  // speedRing, read once per call
std::int32_t speedWritePos = 0;
std::int32_t speedReadPos = 0;
float speedPhase = 0.0f;
std::atomic<int> speedResetRequested{0};

// Counts the samples of one frame for the analysis ring; 0 at every call.
int pairToggle = 0;

// Settings of the call in progress.
float callSpeed = 100.0f;
int callStopped = 0;

// toMidi: the frame's samples are summed into the ring entry, and the entry
// is published once its second sample is in. x is not clipped here.
void feedAnalysisRing() {
    const int pos = analysisRing.writePos.load(std::memory_order_relaxed);
    std::atomic<float>& entry = analysisRing.samples[pos];
    if (++pairToggle > 1) {
        pairToggle = 0;
        entry.store(entry.load(std::memory_order_relaxed) + x, std::memory_order_relaxed);
        analysisRing.writePos.store(pos + 1 >= analysisRingUsed ? 0 : pos + 1,
                                    std::memory_order_release);
    } else {
        entry.store(ringFloor + x, std::memory_order_relaxed);
    }
}

std::int16_t toOutputSample(float value) {
    if (std::isnan(value)) return 0;
    value = std::clamp(value, -outputLimit, outputLimit);
    return static_cast<std::int16_t>(std::lrintf(value));  // ties to even
}

// lastSoundTime := max(lastSoundTime, now), without losing a later value the
// main thread stores meanwhile.
void noteSoundAt(double now) {
    double seen = lastSoundTime.load(std::memory_order_relaxed);
    while (seen < now &&
           !lastSoundTime.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

// Sound since the last check keeps the track alive; peak starts again.
void checkForSound(double now) {
    if (peak >= soundPeak) noteSoundAt(now);
    peak = 1;
}

void checkTrackEnd(double now) {
    double seen = lastSoundTime.load(std::memory_order_relaxed);
    if (seen > now + staleAhead &&
        lastSoundTime.compare_exchange_strong(seen, now, std::memory_order_relaxed))
        seen = now;
    if (seen + silenceBeforeEnd < now && playing.load(std::memory_order_relaxed) == 1 &&
        FBS_GET_PLAYINGSTREAMS() == 0)
        trackEnded.store(1, std::memory_order_relaxed);
}

// What the main thread asked for since the last call.
void takeChanges() {
    if (speedResetRequested.exchange(0, std::memory_order_acquire) != 0) {
        speedWritePos = 0;
        speedReadPos = 0;
        speedPhase = 0.0f;
    }
    takeAutoVolumeReset();
    takeReverbSetup();
    takeEqualizerSetup();
}

// The compressor of modes 2..6: the excess beyond +-threshold is cut by
// ratio, then the make-up gain restores the target level.
float compress(float value, float threshold, float ratio, float makeup) {
    if (value > threshold) value = value - (value - threshold) * ratio;
    if (value < -threshold) value = value - (value + threshold) * ratio;
    return makeup * value;
}

}  // namespace

void prepareEffectStages() {
    plugBits = FBS_GET_PLUGBITS();
    plugRate = FBS_GET_PLUGRATE();
    plugChannels = FBS_GET_PLUGCHANNELS();
    autoVolumeReset();
    prepareSpeedRing();

    prepareReverbLine();
    limitReverbPreset(reverb3);
    limitReverbPreset(reverb2);
    reverbSetup();

    limitEqualizerSettings(equalizer);
    limitEqualizerOrder();
    equalizerSetup();
}

void prepareSpeedRing() {
    if (speed.load(std::memory_order_relaxed) >= fullSpeed || speedRing.load(std::memory_order_relaxed) != nullptr)
        return;
    // Value-initialised: the zeros are written here, page by page.
    std::int32_t* ring = new (std::nothrow) std::int32_t[speedBufferLength]();
    // Release: the output thread sees the written pages with the pointer.
    speedRing.store(ring, std::memory_order_release);
}

void resetSpeedStage() {
    prepareSpeedRing();
    speedResetRequested.store(1, std::memory_order_release);
}

void speedStage() {
    if (callStopped != 0) return;
    callRing[speedWritePos] = static_cast<std::int32_t>(std::lrintf(x));
    if (++speedWritePos >= speedWrap) speedWritePos = 0;
    if (callChannels == 1) {
        x = static_cast<float>(callRing[speedReadPos]);
        speedPhase += callSpeed / 100.0f;
        if (speedPhase >= 1.0f) {
            speedPhase -= 1.0f;
            ++speedReadPos;
        }
    } else {
        // The read position may move between the left and right sample of
        // one frame; the spare entry past speedWrap keeps +1 in the buffer.
        x = static_cast<float>(callRing[speedReadPos + (sampleIndex & 1)]);
        speedPhase += callSpeed / 100.0f;
        if (speedPhase >= 2.0f) {
            speedPhase -= 2.0f;
            speedReadPos += 2;
        }
    }
    if (speedReadPos >= speedWrap) speedReadPos = 0;
}

int masterCallback(void* buffer, int channels, int frames) {
    const std::int64_t requested = std::int64_t{channels} * frames;
    const int sampleCount =
        static_cast<int>(std::clamp<std::int64_t>(requested, 0, maxSamplesPerCall));
    if (plugBits.load(std::memory_order_relaxed) != 16) return 0;

    takeChanges();
    callSpeed = speed.load(std::memory_order_relaxed);
    callRing = speedRing.load(std::memory_order_acquire);
    callStopped = stopped.load(std::memory_order_relaxed);
    callChannels = plugChannels.load(std::memory_order_relaxed);
    const float userVolume = volume.load(std::memory_order_relaxed);
    // Out-of-range modes from a hand-edited korvane.ini: below 1 acts as 0.
    const int mode = autovolMode.load(std::memory_order_relaxed);
    const bool automatic = mode >= 1;
    const bool compressing = mode >= 2;
    const bool reverbOn = reverbMode.load(std::memory_order_relaxed) >= 1;
    const bool equalizerRuns = equalizerOn.load(std::memory_order_relaxed) == 1;
    const bool toMidi = toMidiActive.load(std::memory_order_relaxed) == 1;
    const float threshold = compThreshold;
    const float ratio = compRatio;
    const float makeup = makeupGain;
    pairToggle = 0;

    auto* samples = static_cast<std::int16_t*>(buffer);
    for (sampleIndex = 0; sampleIndex < sampleCount; ++sampleIndex) {
        x = samples[sampleIndex];
        if (callSpeed < fullSpeed && callRing != nullptr) speedStage();
        const float magnitude = std::fabs(x);
        if (magnitude > static_cast<float>(peak)) peak = static_cast<int>(std::lrintf(magnitude));
        if (automatic) {
            x = agcGain * x;
            if (compressing) x = compress(x, threshold, ratio, makeup);
        } else {
            x = userVolume * x;
        }
        if (reverbOn) reverbStage();
        if (equalizerRuns) equalizerStage();
        if (toMidi) {
            feedAnalysisRing();
            samples[sampleIndex] = 0;
        } else {
            samples[sampleIndex] = toOutputSample(x);
        }
    }

    // With automatic volume, peak and lastSoundTime move once per update,
    // so silence is measured on the update's grid.
    const double now = platform().clock();
    if (automatic) {
        frameAccumulator += std::max(frames, 0);
        if (frameAccumulator > framesPerUpdate) {
            frameAccumulator = 0;
            autoVolumeUpdate();
            checkForSound(now);
        }
    } else {
        checkForSound(now);
    }
    checkTrackEnd(now);
    return 0;
}

}  // namespace korvane
