// The stages of the converter's note analysis on their own: the FFT against
// a plain DFT, the spectrum's pitch scale, timing and streaming, a
// convolution against its definition, the note model giving the same bits on
// every instruction set, and the note
// decisions on made-up probabilities.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "tools/converter/analysis/convolution.h"
#include "tools/converter/analysis/note_decoding.h"
#include "tools/converter/analysis/note_model.h"
#include "tools/converter/analysis/real_fft.h"
#include "tools/converter/analysis/spectrum.h"

namespace korvane::converter {
namespace {

std::vector<SpectrumFrame> spectrumOf(const std::vector<float>& signal, std::size_t chunk) {
    std::vector<SpectrumFrame> frames;
    float peak = 0.0f;
    for (const float x : signal) peak = std::max(peak, std::abs(x));
    Spectrum spectrum(peak, [&](const SpectrumFrame& frame) { frames.push_back(frame); });
    for (std::size_t i = 0; i < signal.size(); i += chunk)
        spectrum.push(signal.data() + i, std::min(chunk, signal.size() - i));
    spectrum.finish();
    return frames;
}

std::vector<float> sine(double hertz, double seconds, double from = 0.0) {
    std::vector<float> s(static_cast<std::size_t>(seconds * spectrumRate));
    for (std::size_t i = static_cast<std::size_t>(from * spectrumRate); i < s.size(); ++i)
        s[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hertz * static_cast<double>(i) / spectrumRate));
    return s;
}

TEST(AnalysisFft, MagnitudesAreThoseOfTheDiscreteFourierTransform) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> signal(64);
    for (float& x : signal) x = uniform(random);
    RealFft fft(64);
    std::vector<float> magnitudes(33);
    fft.magnitudes(signal.data(), magnitudes.data());
    for (int k = 0; k <= 32; ++k) {
        double re = 0.0, im = 0.0;
        for (int n = 0; n < 64; ++n) {
            re += signal[static_cast<std::size_t>(n)] * std::cos(2.0 * std::numbers::pi * k * n / 64);
            im -= signal[static_cast<std::size_t>(n)] * std::sin(2.0 * std::numbers::pi * k * n / 64);
        }
        EXPECT_NEAR(magnitudes[static_cast<std::size_t>(k)], std::hypot(re, im), 1e-4) << k;
    }
}

TEST(AnalysisSpectrum, ASinePeaksAtItsPitchInEveryBandAtFullScale) {
    // A0, a pitch in each band and C8, between FFT bins or on them.
    for (const double pitch : {21.0, 45.3, 69.0, 80.0, 98.7, 108.0}) {
        const double hertz = 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0);
        const std::vector<SpectrumFrame> frames = spectrumOf(sine(hertz, 2.0), 4096);
        const SpectrumFrame& middle = frames[frames.size() / 2];
        const auto peak = std::max_element(middle.begin(), middle.end()) - middle.begin();
        EXPECT_NEAR(lowestBinPitch + static_cast<double>(peak) / binsPerSemitone, pitch, 0.34) << pitch;
        EXPECT_NEAR(middle[static_cast<std::size_t>(peak)], std::log1p(1e4), 0.1) << pitch;
    }
}

TEST(AnalysisSpectrum, FramesCoverTheSignalOnTimeWhateverTheChunks) {
    // A tone starting at 1 s: its bin rises within the half window (46 ms
    // at this pitch) around the frame of 1 s.
    const std::vector<float> signal = sine(1000.0, 2.0, 1.0);
    const std::vector<SpectrumFrame> whole = spectrumOf(signal, signal.size());
    EXPECT_EQ(whole.size(), signal.size() / spectrumHop + 1);
    for (const std::size_t chunk : {1u, 17u, 432u, 5000u}) {
        const std::vector<SpectrumFrame> pieces = spectrumOf(signal, chunk);
        ASSERT_EQ(pieces.size(), whole.size()) << chunk;
        EXPECT_EQ(pieces, whole) << chunk;
    }
    const auto bin = static_cast<std::size_t>((69.0 + 12.0 * std::log2(1000.0 / 440.0) - lowestBinPitch) * 3 + 0.5);
    const std::size_t onset = spectrumRate / spectrumHop;
    EXPECT_LT(whole[onset - 5][bin], 1.0f);
    EXPECT_GT(whole[onset][bin], 6.0f);
    EXPECT_TRUE(spectrumOf({}, 1).size() == 1 && spectrumOf({}, 1)[0] == SpectrumFrame{});
}

TEST(AnalysisModel, EveryInstructionSetGivesTheSameBits) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> uniform(0.0f, 9.0f);
    std::vector<SpectrumFrame> frames(60);
    for (SpectrumFrame& frame : frames)
        for (float& x : frame) x = uniform(random);
    std::vector<std::vector<float>> outputs;
    for (const InstructionSet set : {InstructionSet::Plain, InstructionSet::Sse2, InstructionSet::Avx2}) {
        if (set == InstructionSet::Avx2 && bestInstructionSet() != InstructionSet::Avx2) continue;
        std::vector<float>& out = outputs.emplace_back();
        NoteModel model(
            [&](const NoteFrame& frame) {
                out.insert(out.end(), frame.onset.begin(), frame.onset.end());
                out.insert(out.end(), frame.sounding.begin(), frame.sounding.end());
            },
            set);
        for (const SpectrumFrame& frame : frames) model.push(frame);
        model.finish();
        EXPECT_EQ(out.size(), frames.size() * 2 * modelNotes);
    }
    for (const std::vector<float>& out : outputs) EXPECT_EQ(out, outputs.front());
}

// One layer by its definition, in doubles, against the packed weights run on
// every instruction set: ten outputs, a block of eight and two on their own,
// with a stride, a silent frame and the rectifier.
TEST(AnalysisModel, AConvolutionComputesItsDefinition) {
    const ConvolutionShape shape{3, 10, 2, 3, 3, 16, 52, 18, 1, true};
    std::mt19937 random(9);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> weights(static_cast<std::size_t>(shape.outputs * shape.inputs * shape.times * shape.taps));
    std::vector<float> bias(static_cast<std::size_t>(shape.outputs)), frame(static_cast<std::size_t>(3 * 52));
    for (std::vector<float>* v : {&weights, &bias, &frame})
        for (float& x : *v) x = uniform(random);
    const float* frames[] = {frame.data(), nullptr};
    const std::vector<float> packed = packedWeights(shape, weights.data());
    for (const InstructionSet set : {InstructionSet::Plain, InstructionSet::Sse2, InstructionSet::Avx2}) {
        if (set == InstructionSet::Avx2 && bestInstructionSet() != InstructionSet::Avx2) continue;
        std::vector<float> out(static_cast<std::size_t>(shape.outputs * shape.outputRow), -7.0f);
        convolutionFor(set)(shape, packed.data(), bias.data(), frames, out.data());
        for (int o = 0; o < shape.outputs; ++o)
            for (int i = 0; i < shape.width; ++i) {
                double sum = bias[static_cast<std::size_t>(o)];
                for (int c = 0; c < shape.inputs; ++c)
                    for (int k = 0; k < shape.taps; ++k)
                        sum += double{weights[static_cast<std::size_t>(((o * shape.inputs + c) * shape.times) * shape.taps + k)]} *
                               frame[static_cast<std::size_t>(c * shape.inputRow + i * shape.stride + k)];
                EXPECT_NEAR(out[static_cast<std::size_t>(o * shape.outputRow + 1 + i)], std::max(sum, 0.0), 1e-5)
                    << "output " << o << " bin " << i;
            }
    }
}

// Decides notes from made-up probabilities of one note, frame by frame, and
// the amplitudes an octave above it.
std::vector<RefinedNote> decided(const std::vector<float>& onset, const std::vector<float>& sounding,
                                 const std::vector<float>& octave = {}) {
    NoteDecoder decoder;
    for (std::size_t k = 0; k < onset.size(); ++k) {
        NoteFrame frame{};
        frame.onset[40] = onset[k];
        frame.sounding[40] = sounding[k];
        NoteAmplitudes amplitudes{};
        amplitudes[40] = 0.01f * static_cast<float>(k);
        amplitudes[52] = k < octave.size() ? octave[k] : 0.0f;
        decoder.push(frame, amplitudes);
    }
    decoder.finish();
    return decoder.notes();
}

TEST(AnalysisDecisions, OnsetPeaksOfNotesThatSoundStartThemAndADipEndsThem) {
    // Two onset peaks (the second, surer, restrikes the sounding note; a
    // weaker one would not), the first timed between frames towards its
    // larger neighbour; a dip ends it.
    EXPECT_EQ(decided({0, 0.6f, 0.9f, 0.8f, 0, 0, 0.8f, 0, 0, 0, 0, 0},
                      {0, 0.2f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.1f, 0, 0, 0}).size(), 1u);
    const std::vector<RefinedNote> struck = decided({0, 0.6f, 0.9f, 0.8f, 0, 0, 0.95f, 0, 0, 0, 0, 0},
                                                    {0, 0.2f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.1f, 0, 0, 0});
    ASSERT_EQ(struck.size(), 2u);
    EXPECT_EQ(struck[0].note, lowestModelNote + 40);
    EXPECT_GT(struck[0].onset, spectrumFrameTime(2));
    EXPECT_LT(struck[0].onset, spectrumFrameTime(3));
    EXPECT_DOUBLE_EQ(struck[0].offset, spectrumFrameTime(6));
    EXPECT_DOUBLE_EQ(struck[1].onset, spectrumFrameTime(6));
    EXPECT_DOUBLE_EQ(struck[1].offset, spectrumFrameTime(8));
    EXPECT_FLOAT_EQ(struck[0].peakLevel, 0.05f);  // the largest amplitude while it attacks
    // A slow re-attack, a bow change, is likely over several frames: it
    // restarts the note below the single frame's threshold.
    EXPECT_EQ(decided({0, 0.6f, 0.9f, 0.8f, 0, 0.8f, 0.85f, 0.8f, 0, 0, 0, 0},
                      {0, 0.2f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.1f, 0, 0, 0}).size(), 2u);

    // A note that sounds for two frames and starts again 60 ms later was the
    // early rise of the spectrum's long windows: only the attack counts.
    const std::vector<RefinedNote> early = decided({0, 0, 0.9f, 0, 0, 0, 0, 0, 0.9f, 0, 0, 0, 0},
                                                   {0, 0, 0.9f, 0.9f, 0.1f, 0, 0, 0.5f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f});
    ASSERT_EQ(early.size(), 1u);
    EXPECT_DOUBLE_EQ(early[0].onset, spectrumFrameTime(8));

    // An early rise may sound for longer, up to its attack; its octave, in a
    // sharper window, is still silent when it starts. A note played twice
    // shows its partials from the first start on.
    const std::vector<float> rising = {0, 0, 0.9f, 0, 0, 0, 0, 0, 0.95f, 0, 0, 0, 0};
    const std::vector<float> sounds = {0, 0, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f};
    const std::vector<RefinedNote> slurred = decided(rising, sounds, {0, 0, 0, 0, 0, 0, 0, 0.1f, 0.2f, 0.3f, 0.3f});
    ASSERT_EQ(slurred.size(), 1u);
    EXPECT_DOUBLE_EQ(slurred[0].onset, spectrumFrameTime(8));
    EXPECT_EQ(decided(rising, sounds, {0, 0, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.2f, 0.3f, 0.3f, 0.3f}).size(), 2u);

    // An onset whose note never sounds is an attack seen at another pitch;
    // a note nothing ends lasts to the end.
    EXPECT_TRUE(decided({0, 0.9f, 0, 0, 0}, {0, 0.2f, 0.25f, 0.2f, 0}).empty());
    const std::vector<RefinedNote> held = decided({0, 0.9f, 0, 0, 0}, {0, 0.4f, 0.4f, 0.6f, 0.8f});
    ASSERT_EQ(held.size(), 1u);
    EXPECT_DOUBLE_EQ(held[0].offset, spectrumFrameTime(5));
}

TEST(AnalysisDecisions, OfTwoNeighbouringSemitonesOnlyTheLikelierStarts) {
    NoteDecoder decoder;
    for (int k = 0; k < 6; ++k) {
        NoteFrame frame{};
        frame.onset[40] = k == 2 ? 0.7f : 0.0f;
        frame.onset[41] = k == 2 ? 0.9f : 0.0f;
        frame.sounding[40] = frame.sounding[41] = 0.9f;
        decoder.push(frame, NoteAmplitudes{});
    }
    decoder.finish();
    const std::vector<RefinedNote> notes = decoder.notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].note, lowestModelNote + 41);
}

}  // namespace
}  // namespace korvane::converter
