// The built-in synthesizer rendered into buffers, without an audio driver:
// the note-ons that reach it through the MIDI output make sound, all notes
// off silences it within its release time, and its velocities become
// loudness by the law of its voicing.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tomidi/fluid_synth_port.h"
#include "tomidi_support.h"

namespace korvane {
namespace {

// The small General MIDI font loads faster than FluidR3.
constexpr const char* smallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Silence: nothing beyond one step from zero.
constexpr int silence = 1;

// Output -1 is a synthesizer that the test renders; there are no others.
class RenderedSynth : public MidiSystem {
public:
    class Port : public MidiPort {
    public:
        explicit Port(FluidSynthPort& synth) : synth_(synth) {}
        void send(std::uint32_t message) override { synth_.send(message); }

    private:
        FluidSynthPort& synth_;
    };

    int outputCount() override { return 0; }
    std::unique_ptr<MidiPort> open(int identifier) override {
        if (identifier != -1 || !synth) return nullptr;
        return std::make_unique<Port>(*synth);
    }

    // The loudest sample of the next seconds of sound.
    int peakOf(double seconds) {
        std::vector<std::int16_t> buffer(static_cast<std::size_t>(seconds * 44100) * 2);
        synth->render(buffer.data(), static_cast<int>(buffer.size() / 2));
        int peak = 0;
        for (std::int16_t sample : buffer) peak = std::max(peak, std::abs(int(sample)));
        return peak;
    }

    std::unique_ptr<FluidSynthPort> synth = FluidSynthPort::open(smallSoundFont, playerVoicing, false);
};

using SynthTest = ToMidiTest;

TEST_F(SynthTest, NoteOnsSoundAndAllNotesOffSilencesWithinTheRelease) {
    if (!std::filesystem::exists(smallSoundFont)) GTEST_SKIP() << "no " << smallSoundFont;
    RenderedSynth system;
    ASSERT_NE(system.synth, nullptr);
    closeRecording();
    installMidiSystem(&system);
    midiDevice = 0;
    openMidiDevice();
    EXPECT_LE(system.peakOf(0.2), silence) << "silent before any note";

    enqueueNoteOn(60, 100, 1.0);
    enqueueNoteOn(64, 100, 1.0);
    enqueueNoteOn(67, 100, 1.0);
    dispatchDueEvents(1.0);
    EXPECT_GT(system.peakOf(0.5), 1000);

    allNotesOff();
    system.peakOf(1.5);  // the release
    EXPECT_LE(system.peakOf(0.5), silence) << "silent after its release";

    closeMidiDevice();
    openRecording();
}

// The level in dB of middle C struck at a velocity on a fresh synthesizer
// with the player's sound font and program, over its first half second.
double struckLevel(SynthVoicing voicing, int velocity) {
    const std::unique_ptr<FluidSynthPort> synth = FluidSynthPort::open(generalMidiSoundFont, voicing, false);
    if (!synth) return -200.0;
    synth->send(programChangeMessage());
    synth->send(packMidiMessage(0x90 + midiChannel, 60, velocity));
    std::vector<std::int16_t> buffer(2 * 22050);
    synth->render(buffer.data(), 22050);
    double energy = 0.0;
    for (const std::int16_t sample : buffer) energy += double(sample) * sample;
    return 10.0 * std::log10(energy / static_cast<double>(buffer.size()) + 1e-20);
}

TEST(SynthVoicing, PlayerVelocitiesPlayInProportionAndGeneralMidiOnesByTheirSquare) {
    if (!std::filesystem::exists(generalMidiSoundFont)) GTEST_SKIP() << "no " << generalMidiSoundFont;
    const double player64 = struckLevel(playerVoicing, 64);
    EXPECT_NEAR(struckLevel(playerVoicing, 32) - player64, -6.0, 1.0);
    EXPECT_NEAR(struckLevel(playerVoicing, 16) - player64, -12.0, 1.5);
    const SynthVoicing generalMidi{VelocityLaw::GeneralMidi, playerVoicing.gain};
    EXPECT_NEAR(struckLevel(generalMidi, 32) - struckLevel(generalMidi, 64), -12.0, 1.0);
    EXPECT_NEAR(struckLevel(generalMidi, 90), player64, 1e-9) << "the player's 64 is General MIDI's 90";
}

}  // namespace
}  // namespace korvane
