// What korvane-tomidi lets a user hear: the --wav rendering at the loudness
// of its input, the --wav-mix file with the input beside that rendering, and
// velocities that follow the loudness of each note.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "engine/primitives/primitives.h"
#include "tests/audio/bare_libmad.h"
#include "tests/converter/tomidi_process.h"
#include "tests/file_bytes.h"

namespace korvane::converter {
namespace {

std::string track(const std::string& name) { return std::string(KORVANE_TEST_AUDIO_DIR) + "/" + name + ".mp3"; }

// The interleaved samples of a 16-bit WAV file as korvane-tomidi writes them.
std::vector<std::int16_t> wavSamples(const std::string& bytes) {
    if (bytes.size() < 44) return {};
    std::vector<std::int16_t> samples((bytes.size() - 44) / 2);
    std::copy_n(bytes.data() + 44, 2 * samples.size(), reinterpret_cast<char*>(samples.data()));
    return samples;
}

// A 44100 Hz stereo file's samples as the decoder gives them: libmad's
// frames converted by the engine's own primitive.
std::vector<std::int16_t> decoded(const std::string& path) {
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> frame(2 * 1152);
    test::decodeWithLibmad(test::readForLibmad(path), [&](const mad_pcm& pcm) {
        SCALEMP3FRAME_22_16(frame.data(), pcm.samples[0], pcm.samples[1], pcm.length);
        samples.insert(samples.end(), frame.begin(), frame.begin() + 2 * pcm.length);
    });
    return samples;
}

double levelDb(const std::vector<std::int16_t>& samples) {
    double energy = 0.0;
    for (const std::int16_t s : samples) energy += double(s) * s;
    return 10.0 * std::log10(energy / static_cast<double>(std::max<std::size_t>(1, samples.size())) + 1e-20);
}

int loudest(const std::vector<std::int16_t>& samples) {
    int peak = 0;
    for (const std::int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

using ConverterSound = TomidiFolderTest;

TEST_F(ConverterSound, TheWavOfAPieceIsAsLoudAsThePieceAndUnclipped) {
    ASSERT_EQ(runTomidi({"-q", "--wav", "piece.wav", "-o", "piece.mid", track("chords_melody")}, folder).status, 0);
    const std::vector<std::int16_t> input = decoded(track("chords_melody"));
    std::vector<std::int16_t> rendering = wavSamples(bytesOf(folder / "piece.wav"));
    ASSERT_GE(rendering.size(), input.size());
    EXPECT_LT(loudest(rendering), 32767);
    rendering.resize(input.size());  // the same passage
    EXPECT_NEAR(levelDb(rendering), levelDb(input), 3.0);
}

TEST_F(ConverterSound, TheWavMixHoldsTheInputLeftAndTheWavRightFromTheSameStart) {
    const auto mono = [](const std::vector<std::int16_t>& stereo, std::size_t frame) {
        return std::nearbyint((stereo[2 * frame] + stereo[2 * frame + 1]) / 2.0);
    };
    const std::vector<std::int16_t> input = decoded(track("chords_melody"));
    // The learned analysis's notes, and the player's own at its times.
    for (const std::string timing : {"", "--player-timing"}) {
        std::vector<std::string> arguments = {"-q", "--wav", "midi.wav", "--wav-mix", "mix.wav", "-o", "piece.mid"};
        if (!timing.empty()) arguments.push_back(timing);
        const std::string mode = timing.empty() ? "the learned analysis" : timing;
        arguments.push_back(track("chords_melody"));
        ASSERT_EQ(runTomidi(arguments, folder).status, 0) << mode;
        const std::vector<std::int16_t> rendering = wavSamples(bytesOf(folder / "midi.wav"));
        const std::vector<std::int16_t> mix = wavSamples(bytesOf(folder / "mix.wav"));
        ASSERT_EQ(mix.size(), std::max(input.size(), rendering.size())) << mode;
        for (std::size_t i = 0; i < mix.size() / 2; ++i) {
            const double original = 2 * i < input.size() ? mono(input, i) : 0.0;
            const double midi = 2 * i < rendering.size() ? mono(rendering, i) : 0.0;
            ASSERT_NEAR(mix[2 * i], original, 1.0) << mode << ", frame " << i;
            ASSERT_EQ(mix[2 * i + 1], midi) << mode << ", frame " << i;
        }
    }
}

TEST_F(ConverterSound, NotesTwelveDecibelsQuieterGetVelocitiesHalfAsHighAndVolScalesThem) {
    // Eight notes, then the same eight 12 dB quieter, 0.3 s each.
    const auto medianVelocities = [&](const std::string& vol) {
        EXPECT_EQ(runTomidi({"-q", "--vol", vol, "--notes", "notes.csv", "-o", "x.mid", track("halves_12db")}, folder)
                      .status,
                  0);
        std::vector<int> halves[2];
        std::istringstream csv(bytesOf(folder / "notes.csv"));
        std::string line;
        std::getline(csv, line);
        while (std::getline(csv, line)) {
            double onset = 0, offset = 0;
            int pitch = 0, velocity = 0;
            if (std::sscanf(line.c_str(), "%lf,%lf,%d,%d", &onset, &offset, &pitch, &velocity) == 4)
                halves[onset < 2.35 ? 0 : 1].push_back(velocity);
        }
        std::pair<int, int> medians{-1, -1};
        for (int h = 0; h < 2; ++h) {
            if (halves[h].empty()) continue;
            std::nth_element(halves[h].begin(), halves[h].begin() + halves[h].size() / 2, halves[h].end());
            (h == 0 ? medians.first : medians.second) = halves[h][halves[h].size() / 2];
        }
        return medians;
    };
    const auto [loud, quiet] = medianVelocities("0.2");
    EXPECT_GE(loud, 95);
    EXPECT_LE(loud, 115);
    EXPECT_GE(loud - quiet, 30) << "loud " << loud << ", quiet " << quiet;

    const auto [softer, softerQuiet] = medianVelocities("0.1");
    EXPECT_NEAR(softer, loud / 2.0, 1.0);
    EXPECT_NEAR(softerQuiet, quiet / 2.0, 1.0);
}

}  // namespace
}  // namespace korvane::converter
