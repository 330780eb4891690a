// The converter's parts that need no engine: its command line, the MIDI
// file bytes, the list of jobs and the velocities of its notes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/converter/midi_reading.h"
#include "tests/test_folder.h"
#include "tools/converter/batch.h"
#include "tools/converter/midi_file.h"
#include "tools/converter/options.h"
#include "tools/converter/velocities.h"

namespace korvane::converter {
namespace {

namespace fs = std::filesystem;

// --- command line ---

TEST(ConverterOptions, ValuesAreLimitedAsThePanelLimitsThemAndMistakesAreRefused) {
    const ParsedOptions good = parseOptions(
        {"--vol", "5", "--lock=0", "--cpu", "100", "--window-factor", "2.5", "-q", "a.mp3", "b"});
    ASSERT_EQ(good.error, "");
    EXPECT_FLOAT_EQ(*good.options.vol, 2.0f);
    EXPECT_EQ(*good.options.lock, 1);
    EXPECT_EQ(*good.options.cpu, 1200);
    EXPECT_FLOAT_EQ(*good.options.windowFactor, 1.9f);
    EXPECT_TRUE(good.options.quiet);
    EXPECT_EQ(good.options.inputs, (std::vector<std::string>{"a.mp3", "b"}));

    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{"--vol", "loud", "a.mp3"},
                                               {"--jobs", "0", "a.mp3"},
                                               {"--lock", "1.5", "a.mp3"},
                                               {"--frobnicate", "a.mp3"},
                                               {"a.mp3", "-o"},
                                               {"-q"}})
        EXPECT_NE(parseOptions(wrong).error, "") << wrong.front();
    EXPECT_EQ(parseOptions({"--help"}).error, "");
    EXPECT_EQ(parseOptions({"--", "-odd-name.mp3"}).options.inputs, (std::vector<std::string>{"-odd-name.mp3"}));
    EXPECT_NE(parseOptions({"--wav", "x.wav", "--wav-mix", "x.wav", "a.mp3"}).error, "");
}

// --- MIDI file ---

TEST(ConverterMidiFile, TheNoteAtTheStartIsReadBackAndDamagedFilesHaveNone) {
    const std::vector<TimedMessage> messages = {{0.25, 0x403C90}, {0.5, 0x3C80}};
    const std::string note = "korvane-tomidi 1.0: vol 0.2";
    const std::string file = midiFileBytes(messages, note);
    EXPECT_EQ(midiFileNote(file), note);
    EXPECT_EQ(midiFileNote(midiFileBytes(messages)), "");
    const std::string longNote(300, 'n');  // a length of two bytes
    EXPECT_EQ(midiFileNote(midiFileBytes(messages, longNote)), longNote);
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const std::string found = midiFileNote(file.substr(0, cut));
        EXPECT_TRUE(found.empty() || found == note) << cut;
    }
    std::string wrongLength = file;
    wrongLength[32] = '\x7F';  // the text's length, past the end
    EXPECT_EQ(midiFileNote(wrongLength), "");
}

TEST(ConverterMidiFile, MessagesLandOnMillisecondTicksAfterTheTempo) {
    const std::vector<TimedMessage> messages = {
        {0.0, 0xC0 | 4 << 8},
        {0.2004, 0x90 | 69 << 8 | 100 << 16},
        {0.2006, 0x90 | 72 << 8 | 1 << 16},  // rounds to the next tick
        {0.15, 0x80 | 69 << 8},                // earlier than the last: same tick
        {300.0, 0xB0 | 123 << 8},              // a delta needing three bytes
    };
    const std::vector<ParsedEvent> events = parseMidi(midiFileBytes(messages));
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].bytes, (std::vector<int>{0xFF, 0x51, 3, 0x07, 0xA1, 0x20}));
    EXPECT_EQ(events[1].bytes, (std::vector<int>{0xC0, 4}));
    EXPECT_EQ(events[2].tick, 200u);
    EXPECT_EQ(events[2].bytes, (std::vector<int>{0x90, 69, 100}));
    EXPECT_EQ(events[3].tick, 201u);
    EXPECT_EQ(events[4].tick, 201u);
    EXPECT_EQ(events[5].tick, 300000u);
    EXPECT_EQ(events[5].bytes, (std::vector<int>{0xB0, 123, 0}));
    EXPECT_EQ(events[6].tick, 300000u);
}

// --- jobs ---

class ConverterJobs : public ::testing::Test {
protected:
    void SetUp() override {
        root = freshTestFolder("korvane-jobs-");
        for (const char* name : {"album/b.mp3", "album/a.MP3", "album/cd2/c.mp3", "album/notes.txt", "one.mp3"}) {
            fs::create_directories((root / name).parent_path());
            std::ofstream(root / name) << "x";
        }
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(ConverterJobs, AFolderStandsForItsMp3FilesInNameOrderEachUnderTheOutputFolder) {
    Options options;
    options.inputs = {(root / "album").string()};
    options.output = (root / "out").string();
    options.notes = (root / "csv").string();
    const std::vector<Job> jobs = planJobs(options);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].input, (root / "album/a.MP3").string());
    EXPECT_EQ(jobs[0].output, (root / "out/a.mid").string());
    EXPECT_EQ(jobs[0].notes, (root / "csv/a.csv").string());
    EXPECT_EQ(jobs[1].output, (root / "out/b.mid").string());
    EXPECT_EQ(jobs[2].output, (root / "out/cd2/c.mid").string());
    EXPECT_EQ(jobs[2].wav, "");
}

TEST_F(ConverterJobs, OneFileGoesToTheNamedOutputOrBesideItself) {
    Options options;
    options.inputs = {(root / "one.mp3").string()};
    EXPECT_EQ(planJobs(options).at(0).output, (root / "one.mid").string());
    options.output = (root / "x.mid").string();
    EXPECT_EQ(planJobs(options).at(0).output, (root / "x.mid").string());
}

TEST_F(ConverterJobs, EachJobRunsInAProcessOfItsOwnAndAFailureMakesTheStatusOne) {
    std::vector<Job> jobs(5);
    for (int i = 0; i < 5; ++i) jobs[i].input = "file" + std::to_string(i);
    const Converter convert = [](const Job& job, const ProgressReport& report) {
        report(1.0, 10.0);
        if (job.input == "file3") return Outcome{false, "broken"};
        if (job.input == "file4") ::abort();  // a crash is a failure, not a hang
        return Outcome{true, "fine"};
    };
    EXPECT_EQ(runJobs(jobs, 2, true, 0, convert), exitFailed);
    jobs.resize(3);
    EXPECT_EQ(runJobs(jobs, 3, true, 0, convert), 0);
}

TEST_F(ConverterJobs, AnInterruptStopsTheRunningJobAndStartsNoOther) {
    std::vector<Job> jobs(4);
    for (int i = 0; i < 4; ++i) jobs[i].input = (root / ("started" + std::to_string(i))).string();
    const Converter convert = [](const Job& job, const ProgressReport& report) {
        std::ofstream(job.input) << "x";
        if (job.input.ends_with("started1")) {
            ::kill(::getppid(), SIGINT);  // Ctrl-C while the second file converts
            for (;;) {
                report(0.5, 1.0);  // a conversion stops at its next report
                ::usleep(1000);
            }
        }
        return Outcome{true, "fine"};
    };
    EXPECT_EQ(runJobs(jobs, 1, true, 0, convert), exitInterrupted);
    EXPECT_TRUE(fs::exists(root / "started0"));
    EXPECT_TRUE(fs::exists(root / "started1"));
    EXPECT_FALSE(fs::exists(root / "started2"));
    EXPECT_FALSE(fs::exists(root / "started3"));
}

TEST_F(ConverterJobs, AListNamesOneInputALineAsItStands) {
    const fs::path list = root / "list.txt";
    std::ofstream(list, std::ios::binary) << "album\n\n/music/Ünder Ströme/01 Tanz.mp3\r\n  spaced .mp3\nlast.mp3";
    std::vector<std::string> inputs{"given.mp3"};
    std::string error;
    ASSERT_TRUE(readInputList(list.string(), inputs, error)) << error;
    EXPECT_EQ(inputs, (std::vector<std::string>{"given.mp3", "album", "/music/Ünder Ströme/01 Tanz.mp3",
                                                "  spaced .mp3", "last.mp3"}));
    EXPECT_FALSE(readInputList((root / "missing.txt").string(), inputs, error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
}

// --- velocities ---

TEST(ConverterVelocities, EachPeakAgainstTheLoudestOnTheGeneralMidiCurve) {
    // Nine notes at 100 and one at 400: the loud level is 100, reached by
    // one note in ten and passed by none.
    std::vector<float> peaks(9, 100.0f);
    peaks.push_back(400.0f);
    const std::vector<int> velocities = noteVelocities(peaks, 0.2f);
    EXPECT_EQ(velocities.front(), loudVelocity);
    EXPECT_EQ(velocities.back(), 127) << "twice the loud one's amplitude, clipped";

    // Beside five more loud ones: quieter by 6, 12 and 24 dB, silent, and
    // unmeasurable.
    std::vector<float> levels = {100.0f, 50.0f, 25.0f, 6.25f, 0.0f, std::nanf("")};
    levels.insert(levels.end(), 5, 100.0f);
    const auto firstSix = [](const std::vector<int>& v) { return std::vector<int>(v.begin(), v.begin() + 6); };
    EXPECT_EQ(firstSix(noteVelocities(levels, 0.2f)), (std::vector<int>{108, 76, 54, 27, 1, 1}));
    EXPECT_EQ(firstSix(noteVelocities(levels, 0.1f)), (std::vector<int>{54, 38, 27, 14, 1, 1}))
        << "vol scales them";
    EXPECT_TRUE(noteVelocities({}, 0.2f).empty());
}

}  // namespace
}  // namespace korvane::converter
