// toMidi heard at the loudness of the music it replaces: a generated piece
// of chords and a melody plays through the chain as it is heard without
// toMidi, then in the toMidi panel, whose notes the built-in synthesizer
// renders as the player voices them. The output level and the panel's vol
// scale the synthesizer as the output level scales the music.
#include <cmath>
#include <filesystem>

#include "tomidi/fluid_synth_port.h"
#include "tomidi_support.h"

namespace korvane {
namespace {

constexpr double pieceSeconds = 8.0;
// The notes leave about 0.3 s after their window: the last ones by then.
constexpr double tailSeconds = 1.5;

// The level in dB of full scale of the samples spread over the piece's
// length: the loudness of the same passage, whatever the notes' delay.
double passageLevel(const std::vector<std::int16_t>& samples) {
    double energy = 0.0;
    for (const std::int16_t sample : samples) energy += double(sample) * sample;
    const double perSample = energy / (2.0 * pieceSeconds * 44100.0);
    return 10.0 * std::log10(perSample / (32768.0 * 32768.0) + 1e-20);
}

int loudest(const std::vector<std::int16_t>& samples) {
    int peak = 0;
    for (const std::int16_t sample : samples) peak = std::max(peak, std::abs(int(sample)));
    return peak;
}

class HeardLevelTest : public ToMidiDeskTest {
protected:
    // What the chain plays of the piece.
    std::vector<std::int16_t> chainOutput() {
        std::vector<std::int16_t> output;
        heard = [&](const std::int16_t* samples, int count) {
            if (output.size() < 2 * pieceSeconds * 44100) output.insert(output.end(), samples, samples + count);
        };
        setPlaylist({testTrack("chords_melody")});
        startAt(0);
        runFor(pieceSeconds);
        heard = nullptr;
        return output;
    }

    // The notes toMidi sends over the piece, rendered by the synthesizer.
    std::vector<std::int16_t> toMidiRendering() {
        setPlaylist({testTrack("chords_melody")});
        startAt(0);
        const double started = desk.clock();
        keyText.clear();
        desk.pushKeyAt(started + pieceSeconds + tailSeconds, key::Escape);
        runToMidi();
        // The program change went out when the output opened.
        std::vector<TimedMessage> messages = {{0.0, programChangeMessage()}};
        for (const SentMessage& m : takeSent())
            messages.push_back({m.time - started, packMidiMessage(m.status, m.data1, m.data2)});
        const std::unique_ptr<FluidSynthPort> synth = FluidSynthPort::open(generalMidiSoundFont, playerVoicing, false);
        if (!synth) return {};
        const auto frames = static_cast<std::int64_t>((pieceSeconds + tailSeconds) * 44100);
        std::vector<std::int16_t> rendering(2 * static_cast<std::size_t>(frames));
        renderTimedMessages(*synth, messages, rendering.data(), frames);
        return rendering;
    }

    struct Heard {
        double music;  // dB
        double toMidi;
        int toMidiPeak;
    };
    Heard heardAt(float outputLevel, float vol) {
        volume = outputLevel;
        const double music = passageLevel(chainOutput());
        reset();
        toMidiSettings.vol = vol;
        const std::vector<std::int16_t> rendering = toMidiRendering();
        return {music, passageLevel(rendering), loudest(rendering)};
    }
};

TEST_F(HeardLevelTest, ToMidiPlaysAtTheLoudnessOfTheMusicAndFollowsTheOutputLevelAndVol) {
    if (!std::filesystem::exists(generalMidiSoundFont)) GTEST_SKIP() << "no " << generalMidiSoundFont;
    const Heard standard = heardAt(1.7f, 0.2f);
    EXPECT_NEAR(standard.toMidi, standard.music, 6.0) << "at the default settings";
    EXPECT_LT(standard.toMidiPeak, 32767);

    const Heard halfLevel = heardAt(0.85f, 0.2f);
    EXPECT_NEAR(halfLevel.music - standard.music, -6.0, 0.5);
    EXPECT_NEAR(halfLevel.toMidi - standard.toMidi, -6.0, 2.0) << "the output level scales the synthesizer";

    const Heard halfVol = heardAt(1.7f, 0.1f);
    EXPECT_NEAR(halfVol.toMidi - standard.toMidi, -6.0, 2.0) << "vol scales the synthesizer";
}

}  // namespace
}  // namespace korvane
