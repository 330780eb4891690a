// Shared pieces of the effects tests: every effect back at its start, the
// callback run over buffers made by a test in step with the virtual clock,
// and the text a panel shows in its cells.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/window/font.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "app/window/scripted_platform.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"
#include "playback/playback_state.h"
#include "tests/shown_text.h"

namespace korvane {

using Samples = std::vector<std::int16_t>;

// The chain as the program starts, every effect off, with the stages' first
// setups as start-up's prepareEffectStages makes them: the next call of the
// callback starts the equalizer, the reverb line and the automatic gain
// afresh. The test's thread runs the callback, so the chain's output-thread
// state may be reset directly.
inline void startEffects() {
    resetEffectChain();
    equalizerSetup();
    reverbSetup();
    autoVolumeReset();
}

// As startEffects, at volume 1.
inline void resetEffects() {
    startEffects();
    volume = 1.0f;  // each effect is measured at unit gain, not at the start's 1.7
}

// Runs interleaved samples through the callback in calls of up to
// framesPerCall frames, the clock moving on by each call's duration first.
inline Samples runCallback(ScriptedPlatform& desk, Samples samples, int channels = 2,
                           int framesPerCall = 600) {
    const int total = static_cast<int>(samples.size()) / channels;
    if (total == 0) masterCallback(samples.data(), channels, 0);
    for (int frame = 0; frame < total; frame += framesPerCall) {
        const int frames = std::min(framesPerCall, total - frame);
        desk.advance(frames / 44100.0);
        masterCallback(samples.data() + static_cast<std::size_t>(frame) * channels, channels, frames);
    }
    return samples;
}

// The callback on its own, with no engine: 16-bit stereo at 44100 Hz, the
// output the chain assumes until start-up stores the engine's.
class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        installPlatform(&desk);
        desk.advance(100.0);
        resetEffects();
        lastSoundTime = desk.clock();  // sound just now, not at the clock's start 100 s ago
        masterCallback(nullptr, 2, 0);  // takes the fresh start
    }

    Samples process(Samples samples, int framesPerCall = 600) {
        return runCallback(desk, std::move(samples), 2, framesPerCall);
    }

    static Samples silence(int frames) { return Samples(static_cast<std::size_t>(frames) * 2, 0); }

    ScriptedPlatform desk;
};

}  // namespace korvane
