// Sounds through the host-driven output: passes, speed, volume and pan
// rules, slots, loop pointers, lengths, backward play, destroying, and the
// source limit.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/sounds/sounds.h"
#include "tests/engine/engine_test_support.h"

namespace korvane::engine::test {
namespace {

constexpr int kFrames = 600;

using EngineSounds = EngineTest;

// A stereo wave of frames frames; frame i holds (left(i), right(i)).
int makeWave(int frames, int16_t (*left)(int), int16_t (*right)(int)) {
    int wave = -1;
    void* samples = nullptr;
    EXPECT_EQ(FBS_CREATE_WAVE(frames, &wave, &samples), 1);
    auto* out = static_cast<int16_t*>(samples);
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = left(i);
        out[2 * i + 1] = right(i);
    }
    return wave;
}

int makeFlatWave(int frames, int16_t value) {
    int wave = -1;
    void* samples = nullptr;
    EXPECT_EQ(FBS_CREATE_WAVE(frames, &wave, &samples), 1);
    std::fill_n(static_cast<int16_t*>(samples), 2 * frames, value);
    return wave;
}

// Frame i holds i on both sides.
int makeRampWave(int frames) {
    const auto index = [](int i) { return static_cast<int16_t>(i); };
    return makeWave(frames, index, index);
}

bool allEqual(const std::vector<int16_t>& samples, int16_t value) {
    return std::all_of(samples.begin(), samples.end(), [value](int16_t s) { return s == value; });
}

uint8_t* waveStart(int wave) {
    void* start = nullptr;
    FBS_GET_WAVEPOINTERS(wave, &start, nullptr, nullptr);
    return static_cast<uint8_t*>(start);
}

struct Pointers {
    uint8_t* loopstart;
    uint8_t* position;
    uint8_t* loopend;
};

Pointers pointersOf(int sound) {
    void* pointers[3] = {};
    EXPECT_EQ(FBS_GET_SOUNDPOINTERS(sound, &pointers[0], &pointers[1], &pointers[2]), 1);
    return {static_cast<uint8_t*>(pointers[0]), static_cast<uint8_t*>(pointers[1]),
            static_cast<uint8_t*>(pointers[2])};
}

TEST_F(EngineSounds, NoLoopsPlaysEndlesslyAndZeroLoopsStopsAtOnce) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeFlatWave(100, 1000);
    int sound = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    int loops = 0;
    ASSERT_EQ(FBS_GET_SOUNDLOOPS(sound, &loops), 1);
    EXPECT_EQ(loops, 2147483647);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(allEqual(pullOnce(), 1000)) << "buffer " << i;
    }
    ASSERT_EQ(FBS_SET_SOUNDLOOPS(sound, 0), 1);
    EXPECT_TRUE(allEqual(pullOnce(), 0));
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 0);
    // The owned sound keeps its slot, stopped, until destroyed.
    ASSERT_EQ(FBS_GET_SOUNDLOOPS(sound, &loops), 1);
    EXPECT_EQ(loops, 0);
    ASSERT_EQ(FBS_SET_SOUNDLOOPS(sound, -5), 1);
    ASSERT_EQ(FBS_GET_SOUNDLOOPS(sound, &loops), 1);
    EXPECT_EQ(loops, 2147483647);
}

TEST_F(EngineSounds, SpeedVolumeAndPanAreKeptInTheirRanges) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeFlatWave(100, 1000);
    int sound = -1;
    ASSERT_EQ(FBS_CREATE_SOUND(wave, &sound), 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::pair<float, float> speeds[] = {{0.0f, 1.0f},           {20000.0f, 16383.0f},
                                              {-20000.0f, -16383.0f}, {1e-7f, -1.5258e-06f},
                                              {-1e-7f, 1.5258e-06f},  {nan, 1.0f},
                                              {-0.75f, -0.75f}};
    for (const auto& [given, stored] : speeds) {
        float speed = 0.0f;
        ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, given), 1);
        ASSERT_EQ(FBS_GET_SOUNDSPEED(sound, &speed), 1);
        EXPECT_EQ(speed, stored) << "given " << given;
    }
    const std::pair<float, float> volumes[] = {{5.0f, 2.0f}, {0.00005f, 0.0f}, {nan, 0.0f}, {0.5f, 0.5f}};
    for (const auto& [given, stored] : volumes) {
        float volume = -1.0f;
        ASSERT_EQ(FBS_SET_SOUNDVOLUME(sound, given), 1);
        ASSERT_EQ(FBS_GET_SOUNDVOLUME(sound, &volume), 1);
        EXPECT_EQ(volume, stored) << "given " << given;
    }
    // A pan beyond the left silences the right side.
    ASSERT_EQ(FBS_SET_SOUNDPAN(sound, -3.0f), 1);
    float pan = 0.0f;
    ASSERT_EQ(FBS_GET_SOUNDPAN(sound, &pan), 1);
    EXPECT_EQ(pan, -1.0f);
    ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, 1.0f), 1);
    ASSERT_EQ(FBS_PLAY_SOUND(sound, 0), 1);
    const std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(out[0], 500);
    EXPECT_EQ(out[1], 0);

    // Play applies the same speed and pan rules; its volume is taken as given.
    int played = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 1, 20000.0f, 3.0f, 2.0f, &played), 1);
    float value = 0.0f;
    FBS_GET_SOUNDSPEED(played, &value);
    EXPECT_EQ(value, 16383.0f);
    FBS_GET_SOUNDVOLUME(played, &value);
    EXPECT_EQ(value, 3.0f);
    FBS_GET_SOUNDPAN(played, &value);
    EXPECT_EQ(value, 1.0f);
}

TEST_F(EngineSounds, PreparedSoundStartsAtTheWaveStartWhenPlayed) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeRampWave(1000);
    int sound = -1;
    ASSERT_EQ(FBS_CREATE_SOUND(wave, &sound), 1);
    EXPECT_TRUE(allEqual(pullOnce(), 0));
    ASSERT_EQ(FBS_PLAY_SOUND(sound, 1), 1);
    std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[2 * 599], 599);
    ASSERT_EQ(FBS_PLAY_SOUND(sound, 1), 1);
    out = pullOnce();
    EXPECT_EQ(out[2 * 10], 10);
}

TEST_F(EngineSounds, FinishedFireAndForgetSoundsHandTheirSlotsOn) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeFlatWave(100, 300);
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, nullptr), 1);
    int owned = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &owned), 1);
    EXPECT_EQ(owned, 1);
    const std::vector<int16_t> out = pullOnce();
    EXPECT_EQ(out[0], 600);
    EXPECT_EQ(out[2 * 100], 300);
    int next = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &next), 1);
    EXPECT_EQ(next, 0);
    // Destroyed slots are taken again first, lowest first.
    ASSERT_EQ(FBS_DESTROY_SOUND(&owned), 1);
    EXPECT_EQ(owned, -1);
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &next), 1);
    EXPECT_EQ(next, 1);
}

TEST_F(EngineSounds, EverySlotTakenRefusesOneMore) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeFlatWave(10, 1);
    for (int i = 0; i < kSlotCapacity; ++i) {
        ASSERT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, nullptr), 1) << "sound " << i;
    }
    int sound = 7;
    EXPECT_EQ(FBS_PLAY_WAVE(wave, 0, 1.0f, 1.0f, 0.0f, &sound), 0);
    EXPECT_EQ(sound, -1);
}

TEST_F(EngineSounds, PointersStayInsideTheWaveOnFramesAndInOrder) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeRampWave(1000);
    uint8_t* const start = waveStart(wave);
    uint8_t* const end = start + 4000;
    int sound = -1;
    ASSERT_EQ(FBS_CREATE_SOUND(wave, &sound), 1);

    // The wrong way round, the start between two frames.
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, start + 1602, nullptr, start + 400), 1);
    Pointers p = pointersOf(sound);
    EXPECT_EQ(p.loopstart, start + 400);
    EXPECT_EQ(p.loopend, start + 1600);
    EXPECT_EQ(p.position, start);  // below the loop, but not past its end

    // Outside the wave on either side.
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, start - 400, start + 8000, end + 4), 1);
    p = pointersOf(sound);
    EXPECT_EQ(p.loopstart, start);
    EXPECT_EQ(p.loopend, end);
    EXPECT_EQ(p.position, end);
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, end + 40, nullptr, start - 40), 1);
    p = pointersOf(sound);
    EXPECT_EQ(p.loopstart, start + 4);
    EXPECT_EQ(p.loopend, end - 4);
    EXPECT_EQ(p.position, start + 4);  // was past the new end

    // A loop of no length becomes one frame.
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, start + 80, start + 3, start + 80), 1);
    p = pointersOf(sound);
    EXPECT_EQ(p.loopstart, start + 80);
    EXPECT_EQ(p.loopend, start + 84);
    EXPECT_EQ(p.position, start + 80);
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, end, nullptr, end), 1);
    p = pointersOf(sound);
    EXPECT_EQ(p.loopstart, end - 4);
    EXPECT_EQ(p.loopend, end);

    // A position below a moved loop is left where it is.
    void* only = nullptr;
    EXPECT_EQ(FBS_GET_SOUNDPOINTERS(sound, nullptr, &only, nullptr), 1);
    EXPECT_EQ(only, start + 80);
}

TEST_F(EngineSounds, BackwardPlayWrapsFromTheLoopStartToItsEnd) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeRampWave(100);
    uint8_t* const start = waveStart(wave);
    int sound = -1;
    ASSERT_EQ(FBS_CREATE_SOUND(wave, &sound), 1);
    ASSERT_EQ(FBS_SET_SOUNDPOINTERS(sound, start + 40, start + 60, start + 80), 1);
    ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, -1.0f), 1);
    ASSERT_EQ(FBS_SET_SOUNDLOOPS(sound, 2), 1);
    const std::vector<int16_t> out = pullOnce();
    std::vector<int16_t> expected;
    for (int frame : {15, 14, 13, 12, 11, 10, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10}) {
        expected.insert(expected.end(), {static_cast<int16_t>(frame), static_cast<int16_t>(frame)});
    }
    ASSERT_GE(out.size(), expected.size());
    EXPECT_EQ(std::vector<int16_t>(out.begin(), out.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_TRUE(allEqual(std::vector<int16_t>(out.begin() + static_cast<long>(expected.size()), out.end()), 0));
    int loops = -1;
    FBS_GET_SOUNDLOOPS(sound, &loops);
    EXPECT_EQ(loops, 0);
}

TEST_F(EngineSounds, LengthsAreInMillisecondsAtTheSoundsSpeed) {
    ASSERT_EQ(startHostOutput(), 1);
    const int wave = makeFlatWave(44100, 1);
    int64_t milliseconds = 0;
    ASSERT_EQ(FBS_GET_WAVELENGTH(wave, &milliseconds), 1);
    EXPECT_EQ(milliseconds, 1000);
    int sound = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(wave, 3, 2.0f, 1.0f, 0.0f, &sound), 1);
    ASSERT_EQ(FBS_GET_SOUNDLENGTH(sound, &milliseconds), 1);
    EXPECT_EQ(milliseconds, 1500);
    ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, -2.0f), 1);
    ASSERT_EQ(FBS_SET_SOUNDLOOPS(sound, 1), 1);
    ASSERT_EQ(FBS_GET_SOUNDLENGTH(sound, &milliseconds), 1);
    EXPECT_EQ(milliseconds, 500);
    // Below one frame per second.
    ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, 2e-5f), 1);
    ASSERT_EQ(FBS_GET_SOUNDLENGTH(sound, &milliseconds), 1);
    EXPECT_EQ(milliseconds, 0);
    // Endless at 44 frames per second: beyond 32 bits.
    ASSERT_EQ(FBS_SET_SOUNDSPEED(sound, 0.001f), 1);
    ASSERT_EQ(FBS_SET_SOUNDLOOPS(sound, -1), 1);
    ASSERT_EQ(FBS_GET_SOUNDLENGTH(sound, &milliseconds), 1);
    EXPECT_EQ(milliseconds, int64_t{44100000 / 44} * 2147483647);
}

TEST_F(EngineSounds, DestroyingAWaveStopsAndFreesEverySoundPlayingIt) {
    ASSERT_EQ(startHostOutput(), 1);
    int doomed = makeFlatWave(1000, 100);
    const int kept = makeFlatWave(1000, 7);
    int first = -1;
    int second = -1;
    int other = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(doomed, 0, 1.0f, 1.0f, 0.0f, &first), 1);
    ASSERT_EQ(FBS_PLAY_WAVE(kept, 0, 1.0f, 1.0f, 0.0f, &other), 1);
    ASSERT_EQ(FBS_PLAY_WAVE(doomed, 0, 0.5f, 1.0f, 0.0f, nullptr), 1);
    ASSERT_EQ(FBS_CREATE_SOUND(doomed, &second), 1);
    ASSERT_EQ(FBS_SET_SOUNDPAUSED(second, 1), 1);
    ASSERT_EQ(FBS_PLAY_SOUND(second, 0), 1);
    EXPECT_EQ(pullOnce()[0], 207);

    ASSERT_EQ(FBS_DESTROY_WAVE(&doomed), 1);
    EXPECT_EQ(doomed, -1);
    for (int slot : {0, 2, 3}) {
        EXPECT_EQ(sounds.slots[slot].wavestart.load(), nullptr) << "slot " << slot;
        EXPECT_EQ(sounds.slots[slot].mixbuffer.load(), nullptr) << "slot " << slot;
        EXPECT_EQ(sounds.slots[slot].loops.load(), 0) << "slot " << slot;
    }
    int loops = 0;
    EXPECT_EQ(FBS_GET_SOUNDLOOPS(first, &loops), 0);
    EXPECT_EQ(FBS_SET_SOUNDSPEED(second, 1.0f), 0);
    EXPECT_TRUE(allEqual(pullOnce(), 7));
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 1);
    EXPECT_EQ(FBS_DESTROY_WAVE(&doomed), 0);
    EXPECT_EQ(FBS_DESTROY_SOUND(&first), 0);

    // The freed entry and slots are taken again.
    int again = -1;
    ASSERT_EQ(FBS_CREATE_WAVE(10, &again, nullptr), 1);
    EXPECT_EQ(again, 0);
    int sound = -1;
    ASSERT_EQ(FBS_PLAY_WAVE(again, 0, 1.0f, 1.0f, 0.0f, &sound), 1);
    EXPECT_EQ(sound, 0);
}

TEST_F(EngineSounds, MaxChannelsMixesOnlyTheFirstSoundsAndHoldsTheRest) {
    ASSERT_EQ(startHostOutput(), 1);
    int sounds[3];
    const int16_t values[] = {1000, 2000, 4000};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(FBS_PLAY_WAVE(makeFlatWave(4 * kFrames, values[i]), 0, 1.0f, 1.0f, 0.0f, &sounds[i]), 1);
    }
    FBS_SET_MAXCHANNELS(2);
    EXPECT_TRUE(allEqual(pullOnce(), 3000));
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), 3);
    const Pointers held = pointersOf(sounds[2]);
    EXPECT_EQ(held.position, held.loopstart);
    EXPECT_EQ(pointersOf(sounds[1]).position, pointersOf(sounds[1]).loopstart + 4 * kFrames);
    // A muted sound counts against the limit only when it sounds: it does not.
    ASSERT_EQ(FBS_SET_SOUNDMUTED(sounds[0], 1), 1);
    EXPECT_TRUE(allEqual(pullOnce(), 6000));
}

TEST_F(EngineSounds, InvalidHandlesAndMissingAddressesAreRefused) {
    int wave = 4;
    EXPECT_EQ(FBS_CREATE_WAVE(100, &wave, nullptr), 0);
    EXPECT_EQ(wave, -1);
    ASSERT_EQ(startHostOutput(), 1);
    float value = 0.0f;
    int number = 0;
    EXPECT_EQ(FBS_GET_SOUNDSPEED(0, &value), 0);
    wave = makeFlatWave(10, 1);
    int sound = -1;
    ASSERT_EQ(FBS_CREATE_SOUND(wave, &sound), 1);
    EXPECT_EQ(FBS_GET_SOUNDSPEED(sound, nullptr), 0);
    EXPECT_EQ(FBS_GET_SOUNDLOOPS(sound, nullptr), 0);
    EXPECT_EQ(FBS_GET_SOUNDLENGTH(sound, nullptr), 0);
    for (int handle : {-1, 1, 256, 100000}) {
        EXPECT_EQ(FBS_GET_SOUNDVOLUME(handle, &value), 0) << handle;
        EXPECT_EQ(FBS_SET_SOUNDPAN(handle, 0.5f), 0) << handle;
        EXPECT_EQ(FBS_SET_SOUNDMUTED(handle, 1), 0) << handle;
        EXPECT_EQ(FBS_GET_SOUNDPAUSED(handle, &number), 0) << handle;
        EXPECT_EQ(FBS_PLAY_SOUND(handle, 1), 0) << handle;
        EXPECT_EQ(FBS_SET_SOUNDPOINTERS(handle, nullptr, nullptr, nullptr), 0) << handle;
        EXPECT_EQ(FBS_GET_WAVEPOINTERS(handle, nullptr, nullptr, nullptr), 0) << handle;
        EXPECT_EQ(FBS_PLAY_WAVE(handle, 1, 1.0f, 1.0f, 0.0f, nullptr), 0) << handle;
    }
    EXPECT_EQ(FBS_CREATE_SOUND(wave, nullptr), 0);
    EXPECT_EQ(FBS_DESTROY_SOUND(nullptr), 0);
    EXPECT_EQ(FBS_DESTROY_WAVE(nullptr), 0);
    // After the engine's end no handle is valid.
    ASSERT_EQ(FBS_EXIT(), 1);
    EXPECT_EQ(FBS_GET_SOUNDSPEED(sound, &value), 0);
    EXPECT_EQ(FBS_GET_WAVEPOINTERS(wave, nullptr, nullptr, nullptr), 0);
}

}  // namespace
}  // namespace korvane::engine::test
