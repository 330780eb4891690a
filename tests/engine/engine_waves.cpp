// Waves: WAV files and memory images converted to the output format, damaged
// and lying headers, and MP3 files loaded through a temporary file or a
// memory image.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/sounds/sounds.h"
#include "tests/engine/engine_test_support.h"
#include "tests/engine/wav_bytes.h"

namespace korvane::engine::test {
namespace {

using EngineWaves = EngineTest;

// What the loaders make of a 16-bit source sample in stereo output.
int16_t halved(int16_t sample) {
    return static_cast<int16_t>(std::lround(32767.0 * sample * 1.5259254723787308e-05));
}

// Loads the bytes through the file loader and the memory image loader, which
// must agree; the wave's samples, empty when both refused (handle -1).
std::vector<int16_t> loadBoth(const std::vector<uint8_t>& wav) {
    const std::string path = writeTempFile("load.wav", wav);
    int fromFile = 7;
    const int fileResult = FBS_LOAD_WAVFILE(path.c_str(), &fromFile);
    std::remove(path.c_str());
    const WavImage image(wav);
    int fromImage = 7;
    const int imageResult = FBS_LOAD_WAVFILE_SHORT(image.address(), &fromImage);
    EXPECT_EQ(fileResult, imageResult);
    if (fileResult == 0) {
        EXPECT_EQ(fromFile, -1);
        EXPECT_EQ(fromImage, -1);
        return {};
    }
    const std::vector<int16_t> samples = waveSamples(fromFile);
    EXPECT_EQ(samples, waveSamples(fromImage));
    FBS_DESTROY_WAVE(&fromFile);
    FBS_DESTROY_WAVE(&fromImage);
    return samples;
}

std::vector<int16_t> ramp(int frames, int channels, int step) {
    std::vector<int16_t> samples;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            samples.push_back(static_cast<int16_t>((c == 0 ? 1 : -1) * i * step));
        }
    }
    return samples;
}

TEST_F(EngineWaves, StereoWavAtHalfTheRateRepeatsEveryFrameAtHalfAmplitude) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<int16_t> source = ramp(100, 2, 300);
    const std::vector<int16_t> wave = loadBoth(wav16(2, 22050, source));
    ASSERT_EQ(wave.size(), 2 * source.size());
    for (size_t frame = 0; frame < 100; ++frame) {
        for (size_t c = 0; c < 2; ++c) {
            const int16_t expected = wave[4 * frame + c];
            ASSERT_NEAR(expected, source[2 * frame + c] / 2.0, 1.0) << "frame " << frame;
            ASSERT_EQ(wave[4 * frame + 2 + c], expected) << "frame " << frame;
        }
    }
}

TEST_F(EngineWaves, EightBitAndSixteenBitExtremesLandAtHalfScale) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<int16_t> eight = loadBoth(wavFile(2, 44100, 8, {0, 128, 255, 0}));
    EXPECT_EQ(eight, (std::vector<int16_t>{-16384, 0, 16256, -16384}));
    const std::vector<int16_t> sixteen = loadBoth(wav16(2, 44100, {-32768, 32767, 20000, 0}));
    EXPECT_EQ(sixteen, (std::vector<int16_t>{-16384, 16383, 10000, 0}));
}

TEST_F(EngineWaves, MonoSourceFeedsBothOutputChannels) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<int16_t> wave = loadBoth(wav16(1, 44100, {1000, -20000, 32767}));
    EXPECT_EQ(wave, (std::vector<int16_t>{500, 500, -10000, -10000, 16383, 16383}));
}

TEST_F(EngineWaves, MonoOutputSumsBothChannelsWithTheGainOfItsDirection) {
    ASSERT_EQ(startHostOutput(1), 1);
    // Same rate: 16383 x (left + right) / 65535.
    EXPECT_EQ(loadBoth(wav16(2, 44100, {20000, 10000})), (std::vector<int16_t>{7500}));
    // Frames dropped (88.2 kHz to 44.1 kHz): 16383.5 x (left + right) / 65535
    // from every second frame.
    EXPECT_EQ(loadBoth(wav16(2, 88200, {32767, 32767, 1, 1, -32768, -32768, 1, 1})),
              (std::vector<int16_t>{16383, -16384}));
}

TEST_F(EngineWaves, DroppingFramesKeepsTheFirstSourceFrameOfEachOutputFrame) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<int16_t> source = ramp(1000, 2, 30);
    const std::vector<int16_t> wave = loadBoth(wav16(2, 88200, source));
    ASSERT_EQ(wave.size(), source.size() / 2);
    for (size_t frame = 0; frame < 500; ++frame) {
        ASSERT_EQ(wave[2 * frame], halved(source[4 * frame])) << "frame " << frame;
    }
    // 48 kHz: round(1000 x 44100 / 48000) = 919 frames.
    EXPECT_EQ(loadBoth(wav16(2, 48000, ramp(1000, 2, 30))).size(), 2u * 919);
}

TEST_F(EngineWaves, ShortOrLyingDataLoadsWhatTheFileHolds) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<uint8_t> data = sampleBytes(ramp(100, 2, 100));
    EXPECT_EQ(loadBoth(wavFile(2, 44100, 16, data, 10000)).size(), 200u);
    EXPECT_EQ(loadBoth(wavFile(2, 44100, 16, data, 0xFFFFFFFF)).size(), 200u);
    // A partial frame at the end is left out.
    std::vector<uint8_t> ragged = data;
    ragged.resize(ragged.size() + 3, 0x7F);
    EXPECT_EQ(loadBoth(wavFile(2, 44100, 16, ragged)).size(), 200u);
    // A data size claimed but no whole frame present: nothing to load.
    EXPECT_TRUE(loadBoth(wavFile(2, 44100, 16, {1, 2, 3}, 4000)).empty());
}

TEST_F(EngineWaves, ChunksAroundTheFormatAndDataAreSteppedOver) {
    ASSERT_EQ(startHostOutput(), 1);
    std::vector<uint8_t> wav = wav16(1, 44100, {2000, 4000});
    // An 18-byte format chunk and a LIST chunk before the data.
    putLe(wav, 16, 18, 4);
    const std::vector<uint8_t> extra = {0, 0, 'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    wav.insert(wav.begin() + 36, extra.begin(), extra.end());
    EXPECT_EQ(loadBoth(wav), (std::vector<int16_t>{1000, 1000, 2000, 2000}));
}

struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
};

TEST_F(EngineWaves, DamagedHeadersAreRefusedWithHandleMinusOne) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::vector<uint8_t> good = wav16(2, 44100, ramp(50, 2, 100));
    const Damage damages[] = {
        {"44 bytes only", [](auto& w) { w.resize(44); }},
        {"no RIFF", [](auto& w) { w[0] = 'X'; }},
        {"no WAVE", [](auto& w) { w[11] = 'X'; }},
        {"no fmt", [](auto& w) { w[14] = 'X'; }},
        {"format chunk of 15 bytes", [](auto& w) { putLe(w, 16, 15, 4); }},
        {"not PCM", [](auto& w) { putLe(w, 20, 3, 2); }},
        {"no channels", [](auto& w) { putLe(w, 22, 0, 2); }},
        {"rate 0", [](auto& w) { putLe(w, 24, 0, 4); }},
        {"block align 0", [](auto& w) { putLe(w, 32, 0, 2); }},
        {"block align below a frame", [](auto& w) { putLe(w, 32, 3, 2); }},
        {"no data", [](auto& w) { w[38] = 'X'; }},
        {"data size 0", [](auto& w) { putLe(w, 40, 0, 4); }},
        {"format fields past the end",
         [](auto& w) {
             w.resize(60);
             std::memcpy(w.data() + 12, "LIST", 4);
             std::memcpy(w.data() + 52, "fmt \x10\0\0\0", 8);
         }},
        {"data size past the end",
         [](auto& w) {
             w.resize(45);
             w[36] = 'X';
             std::memcpy(w.data() + 41, "data", 4);
         }},
    };
    for (const Damage& damage : damages) {
        std::vector<uint8_t> wav = good;
        damage.apply(wav);
        EXPECT_TRUE(loadBoth(wav).empty()) << damage.what;
    }
}

TEST_F(EngineWaves, RatesThatWouldMakeNoFrameOrTooManyAreRefused) {
    ASSERT_EQ(startHostOutput(), 1);
    // 1 Hz: 100000 frames would become 4.41e9, more than a wave may hold.
    EXPECT_TRUE(loadBoth(wavFile(1, 1, 8, std::vector<uint8_t>(100000, 128))).empty());
    // 4 GHz: two frames round to none.
    EXPECT_TRUE(loadBoth(wavFile(1, 4000000000u, 16, {1, 0, 2, 0})).empty());
}

TEST_F(EngineWaves, LoadsNeedAStartedEngineAndAReadableFile) {
    int wave = 5;
    EXPECT_EQ(FBS_LOAD_WAVFILE(audioFile("empty.mp3").c_str(), &wave), 0);
    EXPECT_EQ(wave, -1);
    ASSERT_EQ(startHostOutput(), 1);
    EXPECT_EQ(FBS_LOAD_WAVFILE("/nonexistent/sound.wav", &wave), 0);
    EXPECT_EQ(FBS_LOAD_WAVFILE(::testing::TempDir().c_str(), &wave), 0);
    EXPECT_EQ(FBS_LOAD_WAVFILE_SHORT(nullptr, &wave), 0);
    EXPECT_EQ(wave, -1);
    EXPECT_EQ(FBS_LOAD_WAVFILE(audioFile("tone_44100_stereo.mp3").c_str(), nullptr), 0);
}

// The samples the MP3 loaders should give for a file at 44.1 kHz: the
// stream's decoding, halved as every loaded wave is.
std::vector<int16_t> expectedFromMp3(const char* name) {
    std::vector<int16_t> samples = decodeInMemory(audioFile(name), 44100, 2).samples;
    for (int16_t& sample : samples) {
        sample = halved(sample);
    }
    return samples;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

// Points TMPDIR at an empty folder of its own for the test.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = ::testing::TempDir() + "korvane_tmp_XXXXXX";
        path_ = ::mkdtemp(pattern.data());
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        old_ = hadOld_ ? old : "";
        ::setenv("TMPDIR", path_.c_str(), 1);
    }
    ~TemporaryFolder() {
        hadOld_ ? ::setenv("TMPDIR", old_.c_str(), 1) : ::unsetenv("TMPDIR");
        for (const std::string& name : filesIn(path_)) {
            std::remove((path_ + "/" + name).c_str());
        }
        ::rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string old_;
    bool hadOld_ = false;
};

TEST_F(EngineWaves, Mp3FileLoadsThroughATemporaryFileThatIsAlwaysRemoved) {
    ASSERT_EQ(startHostOutput(), 1);
    const TemporaryFolder folder;
    int wave = -1;
    ASSERT_EQ(FBS_LOAD_MP3FILE(audioFile("tone_44100_stereo.mp3").c_str(), &wave, ""), 1);
    EXPECT_EQ(waveSamples(wave), expectedFromMp3("tone_44100_stereo.mp3"));
    EXPECT_TRUE(filesIn(folder.path()).empty());

    // A file libmad finds nothing in, and one that cannot be read.
    EXPECT_EQ(FBS_LOAD_MP3FILE(audioFile("not_mp3.mp3").c_str(), &wave, nullptr), 0);
    EXPECT_EQ(wave, -1);
    EXPECT_EQ(FBS_LOAD_MP3FILE(audioFile("empty.mp3").c_str(), &wave, ""), 0);
    EXPECT_TRUE(filesIn(folder.path()).empty());

    // A name of the caller's is used and removed too.
    const std::string named = folder.path() + "/mine.wav";
    EXPECT_EQ(FBS_LOAD_MP3FILE(audioFile("tone_44100_mono.mp3").c_str(), &wave, named.c_str()), 1);
    EXPECT_TRUE(filesIn(folder.path()).empty());
}

TEST_F(EngineWaves, Mp3FileNamedAsItsOwnTemporaryFileIsLeftAlone) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::string copy = writeTempFile("self.mp3", std::vector<uint8_t>(4000, 0xFF));
    int wave = 3;
    EXPECT_EQ(FBS_LOAD_MP3FILE(copy.c_str(), &wave, copy.c_str()), 0);
    EXPECT_EQ(wave, -1);
    struct stat info {};
    ASSERT_EQ(::stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_size, 4000);
    std::remove(copy.c_str());
}

TEST_F(EngineWaves, Mp3AtAnotherRateIsResampledAndATagIsSteppedOver) {
    ASSERT_EQ(startHostOutput(), 1);
    int wave = -1;
    ASSERT_EQ(FBS_LOAD_MP3FILE_SHORT(audioFile("tone_22050_stereo.mp3").c_str(), &wave, 100000000, 0), 1);
    EXPECT_EQ(waveSamples(wave), expectedFromMp3("tone_22050_stereo.mp3"));
    int tagged = -1;
    ASSERT_EQ(FBS_LOAD_MP3FILE_SHORT(audioFile("tagged_44100_stereo.mp3").c_str(), &tagged, 100000000, 0), 1);
    EXPECT_EQ(waveSamples(tagged), expectedFromMp3("tone_44100_stereo.mp3"));
}

TEST_F(EngineWaves, Mp3ImageOfSizeTenUsesTheSmallestImageAndReportsTheTruncation) {
    ASSERT_EQ(startHostOutput(), 1);
    const std::string name = audioFile("tone_44100_stereo.mp3");
    int wave = -1;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(FBS_LOAD_MP3FILE_SHORT(name.c_str(), &wave, 10, 1), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "mp3short wav size=100000  " + name + "\nwarning mp3 file truncated :" + name + "\n");
    // Whole 4608-byte frames after the image's head, as many as fit.
    const size_t frames = (100000 - sizeof(FBS_WAVIMAGE) - 44) / 4608;
    const std::vector<int16_t> expected = expectedFromMp3("tone_44100_stereo.mp3");
    EXPECT_EQ(waveSamples(wave), std::vector<int16_t>(expected.begin(), expected.begin() + frames * 2304));

    // Room for the whole file: no warning, and the head counted in the size.
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(FBS_LOAD_MP3FILE_SHORT(name.c_str(), &wave, 2000000, 1), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "mp3short wav size=" + std::to_string(sizeof(FBS_WAVIMAGE) + 44 + 2 * expected.size()) + "  " + name +
                  "\n");
    EXPECT_EQ(waveSamples(wave), expected);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(FBS_LOAD_MP3FILE_SHORT(audioFile("missing.mp3").c_str(), &wave, 10, 1), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(wave, -1);
}

TEST_F(EngineWaves, CreatedWaveIsZeroedAndSizedInOutputFrames) {
    ASSERT_EQ(startHostOutput(1), 1);
    int wave = -1;
    void* samples = nullptr;
    ASSERT_EQ(FBS_CREATE_WAVE(441, &wave, &samples), 1);
    void* start = nullptr;
    void* end = nullptr;
    int channels = 0;
    ASSERT_EQ(FBS_GET_WAVEPOINTERS(wave, &start, &end, &channels), 1);
    EXPECT_EQ(start, samples);
    EXPECT_EQ(static_cast<uint8_t*>(end) - static_cast<uint8_t*>(start), 882);
    EXPECT_EQ(channels, 1);
    const std::vector<int16_t> zeros = waveSamples(wave);
    EXPECT_EQ(zeros, std::vector<int16_t>(441, 0));
    int64_t milliseconds = 0;
    ASSERT_EQ(FBS_GET_WAVELENGTH(wave, &milliseconds), 1);
    EXPECT_EQ(milliseconds, 10);
    EXPECT_EQ(FBS_CREATE_WAVE(0, &wave, &samples), 0);
    EXPECT_EQ(wave, -1);
    EXPECT_EQ(FBS_GET_WAVELENGTH(0, nullptr), 0);
}

TEST_F(EngineWaves, AllocationFailuresReturnZeroAndHandleMinusOne) {
    ASSERT_EQ(startHostOutput(), 1);
    int wave = -1;
    ASSERT_EQ(FBS_CREATE_WAVE(100, &wave, nullptr), 1);
    const ZeroedAllocator original = allocateZeroed;
    allocateZeroed = [](size_t) -> void* { return nullptr; };
    int failed = 9;
    EXPECT_EQ(FBS_CREATE_WAVE(100, &failed, nullptr), 0);
    EXPECT_EQ(failed, -1);
    failed = 9;
    EXPECT_EQ(FBS_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &failed), 0);
    EXPECT_EQ(failed, -1);
    failed = 9;
    EXPECT_EQ(FBS_CREATE_SOUND(wave, &failed), 0);
    EXPECT_EQ(failed, -1);
    const WavImage image(wav16(1, 44100, {1, 2, 3}));
    failed = 9;
    EXPECT_EQ(FBS_LOAD_WAVFILE_SHORT(image.address(), &failed), 0);
    EXPECT_EQ(failed, -1);
    failed = 9;
    EXPECT_EQ(FBS_LOAD_MP3FILE_SHORT(audioFile("tone_44100_stereo.mp3").c_str(), &failed, 0, 0), 0);
    EXPECT_EQ(failed, -1);
    allocateZeroed = original;
    // Nothing was taken: the next sound gets the first slot.
    int sound = -1;
    EXPECT_EQ(FBS_PLAY_WAVE(wave, 1, 1.0f, 1.0f, 0.0f, &sound), 1);
    EXPECT_EQ(sound, 0);
    EXPECT_EQ(sounds.numofwaves.load(), 1);
}

}  // namespace
}  // namespace korvane::engine::test
