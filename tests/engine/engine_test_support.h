// Shared pieces of the engine's tests: where the test plug-outs and MP3 files
// are, a fixture that leaves a fresh engine behind, pulling a stream through
// the host-driven output, and decoding a file in memory for comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/fbs.h"

namespace korvane::engine::test {

// A folder of test plug-outs, ending with "/".
std::string testPlugFolder(const char* folder);
std::string audioFile(const char* name);

// Writes bytes to a file of that name in the test's temporary folder and
// returns its path.
std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// The samples of a wave, read through FBS_GET_WAVEPOINTERS; empty for an
// invalid handle.
std::vector<int16_t> waveSamples(int wave);

// Shuts the engine down after each test and forgets the callbacks and
// settings a test may have left.
class EngineTest : public ::testing::Test {
protected:
    void TearDown() override;
};

// FBS_INIT on the host-driven output at 44100 Hz.
int startHostOutput(int channels = 2, int frames = 600);

// What a stream delivered: the samples of every pull in which it counted as
// playing, and whether it had ended (no longer active) after the last one.
struct Pulled {
    std::vector<int16_t> samples;
    int buffers = 0;
    bool ended = false;
};
// Pulls until the stream stops counting as playing, at most maxPulls times.
Pulled pullStream(int maxPulls = 100000);
// One pull; the buffer's samples.
std::vector<int16_t> pullOnce();

// The file decoded in memory in one piece, each frame converted to the output
// channel count and resampled to outRate as the stream does, with the
// per-frame byte counts.
struct Decoded {
    std::vector<int16_t> samples;
    std::vector<int> frameBytes;
};
Decoded decodeInMemory(const std::string& path, int outRate, int outChannels);

}  // namespace korvane::engine::test
