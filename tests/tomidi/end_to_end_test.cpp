// From an MP3 file to MIDI messages: the engine plays generated piano-like
// tones on its host-driven output in virtual time, the master callback
// feeds the ring, and the toMidi panel's frames measure, tune, track and
// send to the recording MIDI system.
#include <algorithm>
#include <map>
#include <set>

#include "tomidi_support.h"

namespace korvane {
namespace {

class EndToEndTest : public ToMidiDeskTest {
protected:
    struct Note {
        int note = 0;
        int velocity = 0;
        double on = 0.0;   // seconds after the track started
        double off = -1.0; // -1 while still sounding at the end
        double length(double end) const { return (off < 0 ? end : off) - on; }
    };

    // Plays the track in the toMidi panel and leaves it with Escape after
    // the given seconds; returns the notes heard, by their times.
    std::vector<Note> playInToMidi(const std::string& track, double seconds) {
        setPlaylist({testTrack(track)});
        startAt(0);
        started = desk.clock();
        desk.pushKeyAt(started + seconds, key::Escape);
        runToMidi();
        sent = takeSent();
        std::vector<Note> notes;
        std::map<int, std::size_t> sounding;
        for (const SentMessage& m : sent) {
            const double t = m.time - started;
            if (m.status == 0x90) {
                if (sounding.count(m.data1) != 0) notes[sounding[m.data1]].off = t;
                sounding[m.data1] = notes.size();
                notes.push_back({m.data1, m.data2, t});
            } else if (m.status == 0x80 && sounding.count(m.data1) != 0) {
                notes[sounding[m.data1]].off = t;
                sounding.erase(m.data1);
            }
        }
        return notes;
    }

    double started = 0.0;
    std::vector<SentMessage> sent;
};

// The tone starts 0.5 s into the track; its window at A4 is 5455 entries.
constexpr double attack = 0.5;
constexpr double windowA4 = 5455 / 44100.0;

TEST_F(EndToEndTest, StruckA4GivesNote69ThreeTenthsAfterItsAttackAndWindow) {
    const std::vector<Note> notes = playInToMidi("piano_a4", 3.0);
    const auto a4 = std::find_if(notes.begin(), notes.end(), [](const Note& n) { return n.note == 69; });
    ASSERT_NE(a4, notes.end());
    // Late by up to two frames and the encoder's delay.
    EXPECT_GT(a4->on, attack + 0.3 + windowA4 - 0.02);
    EXPECT_LT(a4->on, attack + 0.3 + windowA4 + 0.08);
    EXPECT_GT(a4->length(3.0), 1.5) << "sounding while the tone lasts";
    for (const Note& n : notes) {
        if (n.note != 69) {
            EXPECT_LT(n.velocity, a4->velocity / 5) << "note " << n.note << " at " << n.on;
        }
    }
}

TEST_F(EndToEndTest, TriadGivesItsThreeNotesAndNothingElseThatLasts) {
    const std::vector<Note> notes = playInToMidi("triad_c4", 3.0);
    std::set<int> lasting;
    for (const Note& n : notes)
        if (n.length(3.0) > 0.2) lasting.insert(n.note);
    EXPECT_EQ(lasting, (std::set<int>{60, 64, 67}));
    for (int note : {60, 64, 67}) {
        const auto found = std::find_if(notes.begin(), notes.end(), [&](const Note& n) { return n.note == note; });
        ASSERT_NE(found, notes.end()) << note;
        EXPECT_LT(found->on, attack + 0.6) << note;
    }
}

// 30 cents lie at the edge of a row's main lobe: once the step has moved
// towards the tone, A4 is the note that sounds on, the loudest.
TEST_F(EndToEndTest, SharpToneIsFoundAsItsNoteOnceTheStepHasTuned) {
    const std::vector<Note> notes = playInToMidi("piano_a4_sharp30", 3.0);
    EXPECT_LT(kz0, 0.997f) << "tuned towards the sharp tone";
    const Note* loudestLasting = nullptr;
    for (const Note& n : notes)
        if (n.length(3.0) > 1.0 && (loudestLasting == nullptr || n.velocity > loudestLasting->velocity))
            loudestLasting = &n;
    ASSERT_NE(loudestLasting, nullptr);
    EXPECT_EQ(loudestLasting->note, 69);
}

TEST_F(EndToEndTest, LeavingSendsAllNotesOffAndNothingAfter) {
    playInToMidi("piano_a4", 1.5);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[sent.size() - 2].status, 0xB0);
    EXPECT_EQ(sent[sent.size() - 2].data1, 123);
    EXPECT_EQ(sent.back().status, 0xB0);
    EXPECT_EQ(sent.back().data1, 64);
    EXPECT_EQ(toMidiActive, 0);
    runFor(2.0);
    EXPECT_TRUE(takeSent().empty());
    EXPECT_EQ(keyText, std::string(1, char(key::Escape))) << "the key is left for the main loop";
}

}  // namespace
}  // namespace korvane
