// The built-in synthesizer rendered into buffers, without an audio driver:
// the note-ons that reach it through the MIDI output make sound, and all
// notes off silences it within its release time.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tomidi/system_midi.h"
#include "tomidi_support.h"

namespace korvane {
namespace {

// The small General MIDI font loads faster than FluidR3.
constexpr const char* smallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Rendering dithers: silence is within one step of zero.
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

    std::unique_ptr<FluidSynthPort> synth = FluidSynthPort::open(smallSoundFont, false);
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

}  // namespace
}  // namespace korvane
