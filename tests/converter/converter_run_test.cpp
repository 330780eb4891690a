// korvane-tomidi as a user runs it: the program on generated MP3 files, its
// files read back, its messages and exit statuses; and its --raw events
// against the player's own toMidi panel on the same file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "app/text/text_file.h"
#include "tests/converter/midi_reading.h"
#include "tests/converter/tomidi_process.h"
#include "tests/file_bytes.h"
#include "tests/file_rights.h"
#include "tests/tomidi/tomidi_support.h"
#include "tools/converter/options.h"

namespace korvane::converter {
namespace {

namespace fs = std::filesystem;

struct Note {
    double on;
    double off;
    int note;
    int velocity;
};

// The notes of a MIDI file, times in seconds (one tick a millisecond).
std::vector<Note> notesOf(const std::string& file) {
    std::vector<Note> notes;
    std::map<int, std::size_t> sounding;
    for (const ParsedEvent& event : parseMidi(file)) {
        const double t = event.tick / 1000.0;
        const int status = event.bytes[0] & 0xF0;
        if (status != 0x80 && status != 0x90) continue;
        const int note = event.bytes[1];
        if (sounding.count(note) != 0) {
            notes[sounding[note]].off = t;
            sounding.erase(note);
        }
        if (status == 0x90 && event.bytes[2] > 0) {
            sounding[note] = notes.size();
            notes.push_back({t, -1.0, note, event.bytes[2]});
        }
    }
    return notes;
}

class ConverterRun : public TomidiFolderTest {
protected:
    static std::string track(const std::string& name) {
        return std::string(KORVANE_TEST_AUDIO_DIR) + "/" + name + ".mp3";
    }
};

TEST_F(ConverterRun, AStruckA4StartsWithNote69WhereTheToneStarts) {
    const TomidiRun run = runTomidi({"-o", "a4.mid", "--notes", "a4.csv", track("piano_a4")}, folder);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string file = bytesOf(folder / "a4.mid");
    const std::vector<ParsedEvent> events = parseMidi(file);
    EXPECT_EQ(events.at(1).bytes.at(1), 0x01);  // how the file was made, a text
    EXPECT_EQ(events.at(2).bytes, (std::vector<int>{0xC0, 4}));  // the program change at 0
    EXPECT_EQ(events.at(2).tick, 0u);
    const std::vector<Note> notes = notesOf(file);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].note, 69);
    // The tone starts 0.5 s in; the analysis takes off the encoder's and the
    // decoder's delay.
    EXPECT_NEAR(notes[0].on, 0.5, 0.05);
    EXPECT_EQ(notes.size(), 1u);
    // The track's end: all notes off and sustain off, last before the end.
    EXPECT_EQ(events[events.size() - 3].bytes, (std::vector<int>{0xB0, 123, 0}));
    EXPECT_EQ(events[events.size() - 2].bytes, (std::vector<int>{0xB0, 64, 0}));

    // The CSV holds the same notes.
    std::istringstream csv(bytesOf(folder / "a4.csv"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "onset_s,offset_s,pitch,velocity");
    std::size_t rows = 0;
    for (; std::getline(csv, line); ++rows) {
        double on = 0, off = 0;
        int pitch = 0, velocity = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%d,%d", &on, &off, &pitch, &velocity), 4) << line;
        ASSERT_LT(rows, notes.size());
        EXPECT_NEAR(on, notes[rows].on, 0.0011);
        EXPECT_NEAR(off, notes[rows].off, 0.0011);
        EXPECT_EQ(pitch, notes[rows].note);
        EXPECT_EQ(velocity, notes[rows].velocity);
    }
    EXPECT_EQ(rows, notes.size());
}

// The codec's delay depends on the sample rate and the frame size: the same
// tone encoded at 22050 Hz, whose frames and delay are counted in samples of
// that rate, starts at the same time.
TEST_F(ConverterRun, AToneStartsAtTheSameTimeWhateverTheSampleRate) {
    double onsets[2] = {};
    const char* names[2] = {"piano_a4", "piano_a4_22050"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(runTomidi({"-q", "-o", "x.mid", track(names[i])}, folder).status, 0);
        const std::vector<Note> notes = notesOf(bytesOf(folder / "x.mid"));
        ASSERT_FALSE(notes.empty()) << names[i];
        onsets[i] = notes[0].on;
    }
    EXPECT_NEAR(onsets[1], onsets[0], 0.012);
}

TEST_F(ConverterRun, AHeldToneWithTremoloIsOneNote) {
    const TomidiRun run = runTomidi({"-o", "held.mid", track("tremolo_a3")}, folder);
    ASSERT_EQ(run.status, 0) << run.errors;
    int a3 = 0;
    for (const Note& note : notesOf(bytesOf(folder / "held.mid"))) a3 += note.note == 57;
    EXPECT_EQ(a3, 1);
}

TEST_F(ConverterRun, TheSameInputGivesTheSameBytesAndTheWavSoundsWhereNotesSound) {
    ASSERT_EQ(runTomidi({"-o", "one.mid", "--wav", "one.wav", track("triad_c4")}, folder).status, 0);
    ASSERT_EQ(runTomidi({"-q", "-o", "two.mid", track("triad_c4")}, folder).status, 0);
    const std::string one = bytesOf(folder / "one.mid");
    EXPECT_EQ(one, bytesOf(folder / "two.mid"));

    const std::string wav = bytesOf(folder / "one.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    const auto* samples = reinterpret_cast<const std::int16_t*>(wav.data() + 44);
    const std::size_t frames = (wav.size() - 44) / 4;
    const auto loudest = [&](double from, double to) {
        int peak = 0;
        for (std::size_t i = static_cast<std::size_t>(from * 44100); i < frames && i < to * 44100; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(samples[2 * i])));
        return peak;
    };
    const std::vector<Note> notes = notesOf(one);
    ASSERT_FALSE(notes.empty());
    EXPECT_GT(loudest(notes[0].on, notes[0].on + 0.3), 1000);
    EXPECT_LT(loudest(0.0, notes[0].on - 0.05), 10);
}

TEST_F(ConverterRun, BadInputsAreNamedLeaveNoFileAndTheOthersAreStillConverted) {
    fs::create_directories(folder / "in");
    fs::copy_file(track("not_mp3"), folder / "in/text.mp3");
    fs::copy_file(track("empty"), folder / "in/empty.mp3");
    fs::copy_file(track("truncated_44100_stereo"), folder / "in/truncated.mp3");
    fs::copy_file(track("piano_a4"), folder / "in/good.mp3");
    const TomidiRun run = runTomidi({"-q", "--jobs", "2", "-o", "out", "in", "missing.mp3"}, folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("text.mp3: holds no MPEG audio frame"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("empty.mp3: holds no MPEG audio frame"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("missing.mp3: No such file or directory"), std::string::npos) << run.errors;
    EXPECT_TRUE(fs::exists(folder / "out/good.mid"));
    EXPECT_FALSE(fs::exists(folder / "out/text.mid"));
    EXPECT_FALSE(fs::exists(folder / "out/empty.mid"));
    EXPECT_FALSE(fs::exists(folder / "missing.mid"));
    // A truncated file converts what it holds.
    EXPECT_TRUE(fs::exists(folder / "out/truncated.mid"));
    // Nothing half written is left behind.
    for (const auto& entry : fs::recursive_directory_iterator(folder / "out"))
        EXPECT_EQ(entry.path().extension(), ".mid") << entry.path();
}

// A library converted in a batch that is interrupted and resumed, as a user
// does it: the resumed batch converts only what is missing, and the result
// is byte for byte that of one uninterrupted batch.
TEST_F(ConverterRun, AnInterruptedBatchLeavesWholeFilesAndResumesToTheSameBytes) {
    const std::vector<std::string> names = {"piano_a4", "triad_c4", "tremolo_a3", "chords_melody", "halves_12db",
                                            "steps_44100_stereo", "pause_44100_stereo", "quiet_44100_stereo"};
    fs::create_directories(folder / "in");
    for (std::size_t i = 0; i < names.size(); ++i)
        fs::copy_file(track(names[i]), folder / "in" / (std::to_string(i) + " " + names[i] + ".mp3"));
    ASSERT_EQ(runTomidi({"-q", "--jobs", "1", "-o", "whole", "in"}, folder).status, 0);

    // Ctrl-C once two files are done.
    const StartedTomidi started = startTomidi({"--jobs", "1", "-o", "out", "in"}, folder);
    const auto done = [&] {
        std::size_t count = 0;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(folder / "out", ignored)) count += entry.is_regular_file();
        return count;
    };
    for (int wait = 0; wait < 20000 && done() < 2; ++wait) ::usleep(1000);
    ::kill(started.pid, SIGINT);
    const TomidiRun stopped = finishTomidi(started);
    EXPECT_EQ(stopped.status, exitInterrupted) << stopped.errors;
    EXPECT_NE(stopped.errors.find("korvane-tomidi: interrupted: "), std::string::npos) << stopped.errors;
    const std::size_t kept = done();
    ASSERT_LT(kept, names.size()) << "the batch ended before the interrupt";
    for (const auto& entry : fs::directory_iterator(folder / "out"))  // whole files only
        EXPECT_EQ(bytesOf(entry.path()), bytesOf(folder / "whole" / entry.path().filename())) << entry.path();

    const TomidiRun resumed = runTomidi({"--skip-existing", "--jobs", "2", "-o", "out", "in"}, folder);
    EXPECT_EQ(resumed.status, 0) << resumed.errors;
    EXPECT_NE(resumed.errors.find("korvane-tomidi: " + std::to_string(names.size() - kept) + " converted, " +
                                  std::to_string(kept) + " skipped, 0 failed"),
              std::string::npos)
        << resumed.errors;
    for (const auto& entry : fs::directory_iterator(folder / "whole"))
        EXPECT_EQ(bytesOf(folder / "out" / entry.path().filename()), bytesOf(entry.path())) << entry.path();

    // Other settings make other files: everything is converted again.
    const TomidiRun louder = runTomidi({"--skip-existing", "--vol", "0.3", "-o", "out", "in"}, folder);
    EXPECT_NE(louder.errors.find(std::to_string(names.size()) + " converted, 0 skipped"), std::string::npos)
        << louder.errors;
}

TEST_F(ConverterRun, AListOnStandardInputNamesFilesWithSpacesAndAccents) {
    fs::create_directories(folder / "Chansons d'été");
    fs::copy_file(track("piano_a4"), folder / "Chansons d'été/La mer à l'aube.mp3");
    std::ofstream(folder / "list.txt") << "\n" << (folder / "Chansons d'été/La mer à l'aube.mp3").string() << "\n\n";
    const std::string list = (folder / "list.txt").string();
    const TomidiRun run = runTomidi({"-q", "--from", "-"}, folder, [&] { ::dup2(::open(list.c_str(), O_RDONLY), 0); });
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_FALSE(notesOf(bytesOf(folder / "Chansons d'été/La mer à l'aube.mid")).empty());
}

TEST_F(ConverterRun, AnOutputThatCannotBeWrittenFailsWithItsName) {
    fs::create_directories(folder / "locked");
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    const TomidiRun run =
        runTomidi({"-q", "-o", "locked/x.mid", track("piano_a4")}, folder, obeyPermissionBitsAfterExec);
    fs::permissions(folder / "locked", fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot write"), std::string::npos) << run.errors;
    EXPECT_TRUE(fs::is_empty(folder / "locked"));
}

TEST_F(ConverterRun, WrongOptionsGiveUsageAndStatusTwo) {
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--frobnicate", "x.mp3"}, {"--cpu", "lots", "x.mp3"}, {}}) {
        const TomidiRun run = runTomidi(wrong, folder);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find("usage: korvane-tomidi"), std::string::npos) << run.errors;
    }
    EXPECT_EQ(runTomidi({"--help"}, folder).status, 0);
}

// The player's toMidi panel on the same file, in virtual time, against the
// converter writing the player's events exactly as sent.
class ConverterAgainstPlayer : public ToMidiDeskTest {};

TEST_F(ConverterAgainstPlayer, RawEventsAreThePlayersEventsAtThePlayersTimes) {
    // The player's settings, written for the converter to read.
    ASSERT_TRUE(writeTextFile("settings.ini", configurationText()));
    const TomidiRun run = runTomidi({"--player-timing", "-q", "--config", "settings.ini", "-o", "raw.mid",
                            testTrack("triad_c4")},
                           fs::current_path());
    ASSERT_EQ(run.status, 0) << run.errors;

    applyEffectSettings();  // the master volume the player runs with
    setPlaylist({testTrack("triad_c4")});
    startAt(0);
    const double started = desk.clock();
    desk.pushKeyAt(started + 4.0, key::Escape);
    runToMidi();
    std::vector<std::vector<int>> player;
    for (const SentMessage& m : takeSent())
        if (m.status == 0x90 || m.status == 0x80)
            player.push_back({m.status, m.data1, m.data2, static_cast<int>(std::lround((m.time - started) * 1000))});

    const std::vector<ParsedEvent> events = parseMidi(bytesOf("raw.mid"));
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[2].bytes, (std::vector<int>{0xC0, 4})) << "the program the player chose as its output opened";
    EXPECT_EQ(events[2].tick, 0u);
    std::vector<std::vector<int>> converter;
    for (const ParsedEvent& event : events) {
        const int status = event.bytes[0] & 0xF0;
        if (status == 0x90 || status == 0x80)
            converter.push_back({status, event.bytes[1], event.bytes[2], static_cast<int>(event.tick)});
    }
    ASSERT_FALSE(player.empty());
    ASSERT_EQ(converter.size(), player.size());
    for (std::size_t i = 0; i < player.size(); ++i) {
        EXPECT_EQ(std::vector<int>(converter[i].begin(), converter[i].begin() + 3),
                  std::vector<int>(player[i].begin(), player[i].begin() + 3)) << "event " << i;
        EXPECT_NEAR(converter[i][3], player[i][3], 1) << "event " << i;
    }
}

}  // namespace
}  // namespace korvane::converter
