// The fill function: sources, saturation, the source limit, sound slots and
// the master callback, driven through the host-driven output.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/plugout/engine_state.h"
#include "engine/sounds/sounds.h"
#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

constexpr int kFrames = 600;
constexpr int kBufferBytes = kFrames * 4;

using EngineMixer = EngineTest;

// A stereo wave whose samples all hold value; FBS_EXIT frees it.
uint8_t* addWave(int frames, int16_t value) {
    auto* samples = static_cast<int16_t*>(std::calloc(static_cast<size_t>(frames) * 2, sizeof(int16_t)));
    std::fill_n(samples, frames * 2, value);
    sounds.waves.push_back({reinterpret_cast<uint8_t*>(samples), frames * 4});
    sounds.numofwaves.store(static_cast<int>(sounds.waves.size()));
    return reinterpret_cast<uint8_t*>(samples);
}

// Starts the wave in the next slot, as the sound functions do: loops last.
SoundSlot& addSound(uint8_t* wave, int frames, int loops, int userowned = 1) {
    const int index = sounds.numofslots.load();
    SoundSlot& slot = sounds.slots[index];
    slot.wavestart.store(wave);
    slot.position.store(wave);
    slot.waveend = wave + frames * 4;
    slot.loopstart.store(wave);
    slot.loopend.store(wave + frames * 4);
    slot.ownedbuffer = static_cast<uint8_t*>(std::calloc(1, kBufferBytes + kMixBufferSlack));
    slot.mixbuffer.store(slot.ownedbuffer);
    slot.userowned.store(userowned);
    slot.loops.store(loops, std::memory_order_release);
    sounds.numofslots.store(index + 1);
    return slot;
}

int16_t saturated(int value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

struct CallbackSeen {
    int calls = 0;
    int channels = 0;
    int frames = 0;
};
CallbackSeen seen;

int recordAndOverwrite(void* buffer, int channels, int frames) {
    seen = {seen.calls + 1, channels, frames};
    std::fill_n(static_cast<int16_t*>(buffer), frames * channels, int16_t{123});
    return 0;
}

std::vector<int16_t> streamCopy;

int copyStreamBuffer(void* buffer, int channels, int frames) {
    const auto* samples = static_cast<const int16_t*>(buffer);
    streamCopy.assign(samples, samples + frames * channels);
    return 0;
}

TEST_F(EngineMixer, WithoutSourcesTheBufferIsSilentAndOnlyAnEnabledMasterCallbackRuns) {
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_EQ(FBS_DISABLE_MASTERCALLBACK(), 0);
    seen = {};
    ASSERT_EQ(FBS_SET_MASTERCALLBACK(recordAndOverwrite), 1);
    const std::vector<int16_t> silent = pullOnce();
    EXPECT_EQ(seen.calls, 0);
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));

    ASSERT_EQ(FBS_ENABLE_MASTERCALLBACK(), 1);
    const std::vector<int16_t> played = pullOnce();
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.channels, 2);
    EXPECT_EQ(seen.frames, kFrames);
    // What the callback leaves in the buffer is what is played.
    EXPECT_TRUE(std::all_of(played.begin(), played.end(), [](int16_t s) { return s == 123; }));
    ASSERT_EQ(FBS_DISABLE_MASTERCALLBACK(), 1);
    pullOnce();
    EXPECT_EQ(seen.calls, 1);
}

TEST_F(EngineMixer, TwoSourcesSaturateInsteadOfWrapping) {
    ASSERT_EQ(startHostOutput(), 1);
    uint8_t* high = addWave(kFrames, 30000);
    addSound(high, kFrames, kEndlessLoops);
    addSound(high, kFrames, kEndlessLoops);
    std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(out.front(), 32767);
    EXPECT_EQ(out.back(), 32767);
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 2);

    std::fill_n(reinterpret_cast<int16_t*>(high), kFrames * 2, int16_t{-30000});
    out = pullOnce();
    EXPECT_EQ(out.front(), -32768);
    EXPECT_EQ(out.back(), -32768);
}

TEST_F(EngineMixer, MaxChannelsKeepsTheStreamAndFirstSoundAndHoldsTheRest) {
    ASSERT_EQ(startHostOutput(), 1);
    ASSERT_EQ(FBS_CREATE_MP3STREAM(audioFile("tone_44100_stereo.mp3").c_str()), 1);
    ASSERT_EQ(FBS_SET_STREAMCALLBACK(copyStreamBuffer), 1);
    ASSERT_EQ(FBS_ENABLE_STREAMCALLBACK(), 1);
    ASSERT_EQ(FBS_PLAY_MP3STREAM(1.0f, 0.0f), 1);
    const int16_t values[] = {1000, 2000, 4000};
    SoundSlot* slots[3];
    for (int i = 0; i < 3; ++i) {
        slots[i] = &addSound(addWave(4 * kFrames, values[i]), 4 * kFrames, kEndlessLoops);
    }
    FBS_SET_MAXCHANNELS(2);

    const std::vector<int16_t> out = pullOnce();
    ASSERT_EQ(streamCopy.size(), out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], saturated(streamCopy[i] + 1000)) << "sample " << i;
    }
    EXPECT_EQ(FBS_GET_PLAYINGSTREAMS(), 1);
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 3);
    EXPECT_EQ(slots[0]->position.load(), slots[0]->wavestart.load() + kBufferBytes);
    EXPECT_EQ(slots[1]->position.load(), slots[1]->wavestart.load());
    EXPECT_EQ(slots[2]->position.load(), slots[2]->wavestart.load());
}

TEST_F(EngineMixer, FinishedFireAndForgetSoundFreesItsSlotInTheSameCall) {
    ASSERT_EQ(startHostOutput(), 1);
    uint8_t* wave = addWave(100, 500);
    SoundSlot& owned = addSound(wave, 100, 1, 1);
    SoundSlot& fireAndForget = addSound(wave, 100, 1, 0);
    EXPECT_EQ(FBS_SET_SOUNDCALLBACK(0, recordAndOverwrite), 1);
    EXPECT_EQ(FBS_ENABLE_SOUNDCALLBACK(1), 0);
    EXPECT_EQ(FBS_SET_SOUNDCALLBACK(2, recordAndOverwrite), 0);

    const std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(out[0], 1000);
    EXPECT_EQ(out[199], 1000);
    EXPECT_EQ(out[200], 0);
    EXPECT_EQ(owned.loops.load(), 0);
    EXPECT_EQ(owned.wavestart.load(), wave);
    EXPECT_EQ(fireAndForget.wavestart.load(), nullptr);
}

TEST_F(EngineMixer, MutedSoundAdvancesSilentlyAndPausedSoundStays) {
    ASSERT_EQ(startHostOutput(), 1);
    uint8_t* wave = addWave(4 * kFrames, 700);
    SoundSlot& muted = addSound(wave, 4 * kFrames, kEndlessLoops);
    SoundSlot& paused = addSound(wave, 4 * kFrames, kEndlessLoops);
    muted.muted.store(1);
    paused.paused.store(1);

    const std::vector<int16_t> out = pullOnce();
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
    EXPECT_EQ(muted.position.load(), wave + kBufferBytes);
    EXPECT_EQ(paused.position.load(), wave);
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 1);
}

}  // namespace
}  // namespace korvane::engine::test
