#include "effects/chain/reverb.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "app/text/start_values.h"
#include "effects/chain/handover.h"
#include "effects/chain/master_callback.h"

namespace korvane {

float reverbLine[reverbLineSize + 1];
int linePos = 0;
ReverbTaps activeTaps;

namespace {

const StartValues initial(linePos, activeTaps);

constexpr float reverbFloor = 0.00001f;
constexpr float defaultDelay1 = 225.0f;  // ms
constexpr float defaultDelay2 = 300.0f;

Handover<ReverbTaps> pendingTaps;
std::atomic<int> clearRequested{0};

// floor(ms x rate / 1000) frames, in interleaved samples, within the line.
// A NaN delay gives the shortest.
int tapDelay(float milliseconds, int rate, int channels) {
    const double samples = std::floor(static_cast<double>(milliseconds) * rate / 1000.0) * channels;
    if (!(samples > 2.0)) return 2;
    return static_cast<int>(std::min(samples, static_cast<double>(reverbLineSize - 4)));
}

void clearLine() { std::fill(std::begin(reverbLine), std::end(reverbLine), 0.0f); }

}  // namespace

// --- Main thread ---

ReverbTaps reverbTaps(int mode, const ReverbPreset& preset2, const ReverbPreset& preset3, int rate,
                      int channels) {
    float k1 = 0.0f;
    float k2 = 0.0f;
    float T1 = defaultDelay1;
    float T2 = defaultDelay2;
    const ReverbPreset* preset = nullptr;
    switch (mode) {
    case 1:
        k1 = 0.23f;
        k2 = 0.2f;
        break;
    case 2: preset = &preset2; break;
    case 3: preset = &preset3; break;
    default: break;  // no echo
    }
    if (preset != nullptr) {
        k1 = preset->kreverb1;
        k2 = preset->kreverb2;
        T1 = preset->Treverb1;
        T2 = preset->Treverb2;
    }
    ReverbTaps taps;
    taps.k1 = k1;
    taps.k2 = (1.0f - k1) * k2;
    taps.delay1 = tapDelay(T1, rate, channels);
    taps.delay2 = tapDelay(T2, rate, channels);
    return taps;
}

void reverbSetup() {
    const int mode = reverbMode.load(std::memory_order_relaxed);
    if (mode == 0) clearRequested.store(1, std::memory_order_release);
    pendingTaps.publish(reverbTaps(mode, reverb2, reverb3, plugRate.load(std::memory_order_relaxed),
                                   plugChannels.load(std::memory_order_relaxed)));
}

void prepareReverbLine() { clearLine(); }

// --- Output thread ---

void resetReverbState() {
    clearLine();
    initial.restore();
}

void takeReverbSetup() {
    // Acquire: the line as the main thread last left it comes with the request.
    if (clearRequested.exchange(0, std::memory_order_acquire) != 0) clearLine();
    if (const ReverbTaps* taps = pendingTaps.take()) activeTaps = *taps;
}

void reverbStage() {
    if (callChannels < 1) return;
    int i1 = linePos - activeTaps.delay1 - 1;
    if (i1 < 0) i1 += reverbLineSize;
    int i2 = linePos - activeTaps.delay2 - 1;
    if (i2 < 0) i2 += reverbLineSize;
    const float y = reverbLine[i1] * activeTaps.k1 + x + reverbLine[i2] * activeTaps.k2 + reverbFloor;
    reverbLine[linePos] = y;
    if (++linePos >= reverbLineSize) linePos = 0;
    x = y;
}

}  // namespace korvane
