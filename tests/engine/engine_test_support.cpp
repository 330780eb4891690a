#include "tests/engine/engine_test_support.h"

#include <mad.h>

#include <unistd.h>

#include <cmath>
#include <fstream>

#include "engine/plugout/engine_state.h"
#include "engine/stream/stream.h"
#include "tests/audio/bare_libmad.h"

namespace korvane::engine::test {

std::string testPlugFolder(const char* folder) {
    return std::string(KORVANE_TESTPLUG_DIR) + "/" + folder + "/";
}

std::string audioFile(const char* name) {
    return std::string(KORVANE_TEST_AUDIO_DIR) + "/" + name;
}

std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = ::testing::TempDir() + "korvane_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<int16_t> waveSamples(int wave) {
    void* start = nullptr;
    void* end = nullptr;
    if (FBS_GET_WAVEPOINTERS(wave, &start, &end, nullptr) != 1) {
        return {};
    }
    return std::vector<int16_t>(static_cast<const int16_t*>(start), static_cast<const int16_t*>(end));
}

void EngineTest::TearDown() {
    EXPECT_EQ(FBS_EXIT(), 1);
    FBS_USE_HOSTOUTPUT(0);
    FBS_SET_MAXCHANNELS(128);
    engine.plugpath.clear();
    engine.mastercallback.store(nullptr);
    engine.mastercallbackenabled.store(0);
    engine.mastervolume.store(1.0f);
    engine.playedbytes.store(0);
    stream.streamcallback.store(nullptr);
    stream.streamcallbackenabled.store(0);
}

int startHostOutput(int channels, int frames) {
    FBS_USE_HOSTOUTPUT(1);
    return FBS_INIT(44100, channels, 3, frames, 0);
}

std::vector<int16_t> pullOnce() {
    const void* buffer = nullptr;
    const int bytes = FBS_HOST_PULLBUFFER(&buffer);
    const auto* samples = static_cast<const int16_t*>(buffer);
    return bytes > 0 ? std::vector<int16_t>(samples, samples + bytes / 2) : std::vector<int16_t>();
}

Pulled pullStream(int maxPulls) {
    Pulled pulled;
    float volume = 0.0f;
    for (int i = 0; i < maxPulls; ++i) {
        const std::vector<int16_t> buffer = pullOnce();
        if (buffer.empty()) {
            break;
        }
        const bool active = FBS_GET_STREAMVOLUME(&volume) == 1;
        if (FBS_GET_PLAYINGSTREAMS() == 0) {
            pulled.ended = !active;
            break;
        }
        pulled.samples.insert(pulled.samples.end(), buffer.begin(), buffer.end());
        ++pulled.buffers;
        if (!active) {
            pulled.ended = true;
            break;
        }
    }
    return pulled;
}

Decoded decodeInMemory(const std::string& path, int outRate, int outChannels) {
    Decoded decoded;
    std::vector<int16_t> converted(2 * 1152);
    std::vector<int16_t> resampled;
    korvane::test::decodeWithLibmad(korvane::test::readForLibmad(path), [&](const mad_pcm& pcm) {
        if (pcm.channels == 2) {
            (outChannels == 2 ? SCALEMP3FRAME_22_16 : SCALEMP3FRAME_21_16)(converted.data(), pcm.samples[0],
                                                                           pcm.samples[1], pcm.length);
        } else {
            (outChannels == 2 ? SCALEMP3FRAME_12_16 : SCALEMP3FRAME_11_16)(converted.data(), pcm.samples[0],
                                                                           pcm.length);
        }
        const int framesize = 2 * outChannels;
        int bytes = pcm.length * framesize;
        const int16_t* out = converted.data();
        if (pcm.samplerate != static_cast<unsigned>(outRate)) {
            const float ratio = static_cast<float>(pcm.samplerate) / static_cast<float>(outRate);
            bytes = static_cast<int>(std::lround(static_cast<float>(bytes) * (1.0f / ratio)));
            bytes -= bytes % framesize;
            resampled.assign(static_cast<size_t>(bytes) / 2, 0);
            void* pos = resampled.data();
            (outChannels == 2 ? COPYSLICEMP3FRAME32 : COPYSLICEMP3FRAME16)(
                resampled.data(), &pos, resampled.data() + resampled.size(), converted.data(), ratio, bytes);
            out = resampled.data();
        }
        decoded.samples.insert(decoded.samples.end(), out, out + bytes / 2);
        decoded.frameBytes.push_back(bytes);
    });
    return decoded;
}

}  // namespace korvane::engine::test
