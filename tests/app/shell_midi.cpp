// The MIDI output on the recording system: opening with its fallback, the O
// prompt, the packed messages and the note bookkeeping.
#include "shell_support.h"

namespace korvane {
namespace {

class MidiTest : public ShellTest {
protected:
    // The messages since the last call.
    std::vector<std::uint32_t> sent() {
        std::vector<std::uint32_t> packed;
        for (const auto& message : midi.messages) packed.push_back(message.packed);
        midi.messages.clear();
        return packed;
    }
    static constexpr std::uint32_t programChange = 0xC0 | (4 << 8);
};

TEST_F(MidiTest, FailedDeviceFallsBackToTheSynthesizerWithANotice) {
    openMidiDevice();
    EXPECT_EQ(midi.opened, std::vector<int>{-1}) << "number 0 is the synthesizer";
    EXPECT_EQ(sent(), std::vector<std::uint32_t>{programChange});
    EXPECT_TRUE(desk.dialogs().empty());

    midi.outputs = 2;
    midiDevice = 3;
    openMidiDevice();
    ASSERT_EQ(desk.dialogs().size(), 1u);
    EXPECT_EQ(desk.dialogs()[0].text, "warning error open midiout(3)");
    EXPECT_EQ(desk.dialogs()[0].title, "notice");
    EXPECT_EQ(midi.opened, (std::vector<int>{-1, -1}));
    EXPECT_EQ(midiDevice, 0);
    EXPECT_EQ(sent(), std::vector<std::uint32_t>{programChange});
}

TEST_F(MidiTest, OutputThatNeverOpenedIsNeitherWrittenNorClosed) {
    midi.failing = {-1};
    midiDevice = -5;
    openMidiDevice();
    EXPECT_EQ(desk.dialogs().at(0).text, "warning error open midiout(-5)");
    EXPECT_EQ(midiDevice, -5);
    sendNoteOn(60, 100);
    allNotesOff();
    closeMidiDevice();
    EXPECT_TRUE(midi.messages.empty());
    EXPECT_TRUE(midi.closed.empty());
}

TEST_F(MidiTest, PromptRoundsLimitsAndReopens) {
    midi.outputs = 4;
    openMidiDevice();
    const struct {
        const char* typed;
        int device;
    } cases[] = {{"2.5", 2}, {"3.5", 4}, {"letters", 0}, {"9", 4}, {"-2", 0}, {"  1", 1}};
    for (const auto& c : cases) {
        desk.typeLine(c.typed);
        chooseMidiDevice();
        EXPECT_EQ(midiDevice, c.device) << c.typed;
        EXPECT_EQ(midi.opened.back(), c.device - 1) << c.typed;
        EXPECT_EQ(midi.messages.back().packed, programChange);
    }
    desk.typeLine("");
    chooseMidiDevice();
    EXPECT_EQ(midiDevice, 1);
    EXPECT_EQ(midi.closed.size(), std::size(cases)) << "an empty line keeps the output open";
}

TEST_F(MidiTest, ReopeningReleasesTheNotesOfTheOldOutput) {
    midi.outputs = 2;
    midiDevice = 1;
    openMidiDevice();
    sendNoteOn(60, 100);
    midi.messages.clear();
    desk.typeLine("2");
    chooseMidiDevice();
    ASSERT_EQ(midi.messages.size(), 3u);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(midi.messages[i].identifier, 0) << "sent to the old output";
    EXPECT_EQ(midi.messages[0].packed, 0xB0u | (123u << 8));
    EXPECT_EQ(midi.messages[1].packed, 0xB0u | (64u << 8));
    EXPECT_EQ(midi.messages[2].identifier, 1);
    EXPECT_EQ(noteSounding[60], 0);
}

TEST_F(MidiTest, NotesArePackedAndNeverStruckTwiceWithoutRelease) {
    openMidiDevice();
    sent();
    sendNoteOn(60, 100);
    sendNoteOn(60, 90);
    sendNoteOff(61);
    sendNoteOff(60);
    EXPECT_EQ(sent(), (std::vector<std::uint32_t>{0x643C90, 0x3C80, 0x5A3C90, 0x3D80, 0x3C80}));
    sendNoteOn(300, 10);
    sendNoteOff(-1);
    EXPECT_TRUE(sent().empty()) << "notes beyond the flags are not sent";

    sendNoteOn(40, 10);
    sendNoteOn(256, 10);
    sent();
    allNotesOff();
    EXPECT_EQ(sent(), (std::vector<std::uint32_t>{0x7BB0, 0x40B0}));
    sendNoteOn(40, 10);
    EXPECT_EQ(sent(), std::vector<std::uint32_t>{0x0A2890}) << "released: no note-off first";
}

}  // namespace
}  // namespace korvane
