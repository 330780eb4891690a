// Sounds started, changed, stopped and destroyed, and waves loaded and
// destroyed, while a threaded plug-out mixes them on its own thread. Meant
// for a ThreadSanitizer build as much as for a plain one (and for the
// address sanitizer: freed samples and buffers must never be read).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/engine/engine_test_support.h"
#include "tests/engine/wav_bytes.h"

namespace korvane::engine::test {
namespace {

using EngineSoundsConcurrency = EngineTest;

std::atomic<int> buffersWithSounds{0};

int countSounds(void*, int, int) {
    if (FBS_GET_PLAYINGSOUNDS() > 0) {
        buffersWithSounds.fetch_add(1);
    }
    return 0;
}

// Busy-waits for a while, so that the next calls land at every phase of the
// output thread's fill calls (a sleep would mostly land between them).
void spin(std::chrono::microseconds time) {
    const auto until = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < until) {
    }
}

int newWave(int round) {
    int wave = -1;
    if (round % 3 == 0) {
        std::vector<int16_t> samples(2 * (200 + round % 50));
        for (size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<int16_t>(i * 97);
        }
        const WavImage image(wav16(2, 22050, samples));
        EXPECT_EQ(FBS_LOAD_WAVFILE_SHORT(image.address(), &wave), 1);
        return wave;
    }
    void* samples = nullptr;
    EXPECT_EQ(FBS_CREATE_WAVE(300 + 40 * (round % 7), &wave, &samples), 1);
    auto* out = static_cast<int16_t*>(samples);
    for (int i = 0; i < 2 * (300 + 40 * (round % 7)); ++i) {
        out[i] = static_cast<int16_t>(i * 31 + round);
    }
    return wave;
}

TEST_F(EngineSoundsConcurrency, SoundsComeAndGoWhileAThreadedPlugoutMixes) {
    FBS_SET_PLUGPATH(testPlugFolder("threaded").c_str());
    ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1);
    ASSERT_EQ(FBS_SET_MASTERCALLBACK(countSounds), 1);
    ASSERT_EQ(FBS_ENABLE_MASTERCALLBACK(), 1);

    std::vector<int> waves;
    std::vector<int> owned;
    uint32_t random = 12345;
    const auto next = [&random](uint32_t range) {
        random = random * 1664525u + 1013904223u;
        return (random >> 8) % range;
    };
    for (int round = 0; round < 1500; ++round) {
        if (waves.size() < 4) {
            waves.push_back(newWave(round));
        }
        const int wave = waves[next(static_cast<uint32_t>(waves.size()))];
        // Short fire-and-forget sounds end and free their slots on the output
        // thread while the next ones take slots here.
        FBS_PLAY_WAVE(wave, 1 + round % 3, 0.5f + static_cast<float>(round % 4), 0.7f, -0.5f, nullptr);
        int sound = -1;
        if (owned.size() < 12 &&
            FBS_PLAY_WAVE(wave, round % 5, round % 2 == 0 ? 1.0f : -1.3f, 1.0f, 0.3f, &sound) == 1) {
            owned.push_back(sound);
        }
        if (!owned.empty()) {
            const int handle = owned[next(static_cast<uint32_t>(owned.size()))];
            FBS_SET_SOUNDSPEED(handle, static_cast<float>(next(7)) - 3.0f);
            FBS_SET_SOUNDVOLUME(handle, static_cast<float>(next(3)) * 0.6f);
            FBS_SET_SOUNDPAN(handle, static_cast<float>(next(5)) * 0.5f - 1.0f);
            FBS_SET_SOUNDMUTED(handle, next(4) == 1);
            FBS_SET_SOUNDPAUSED(handle, next(6) == 2);
            void* start = nullptr;
            void* end = nullptr;
            FBS_GET_WAVEPOINTERS(wave, &start, &end, nullptr);
            FBS_SET_SOUNDPOINTERS(handle, static_cast<char*>(start) + 4 * next(50), nullptr,
                                  static_cast<char*>(end) - 4 * next(30));
            if (next(9) == 0) {
                FBS_PLAY_SOUND(handle, 2);
            }
        }
        spin(std::chrono::microseconds(next(300)));
        if (next(3) == 0 && !owned.empty()) {
            const size_t which = next(static_cast<uint32_t>(owned.size()));
            if (next(2) == 0) {
                FBS_SET_SOUNDLOOPS(owned[which], 0);
            }
            FBS_DESTROY_SOUND(&owned[which]);
            owned.erase(owned.begin() + static_cast<long>(which));
        }
        if (next(40) == 0) {
            // Stops its sounds, owned or not, under the mixer's feet; their
            // handles are no longer valid.
            const size_t which = next(static_cast<uint32_t>(waves.size()));
            FBS_DESTROY_WAVE(&waves[which]);
            waves.erase(waves.begin() + static_cast<long>(which));
            std::vector<int> alive;
            for (int handle : owned) {
                int loops = 0;
                if (FBS_GET_SOUNDLOOPS(handle, &loops) == 1) {
                    alive.push_back(handle);
                }
            }
            owned = alive;
        }
    }
    EXPECT_GT(buffersWithSounds.load(), 0);
    EXPECT_EQ(FBS_EXIT(), 1);
}

}  // namespace
}  // namespace korvane::engine::test
