// The converter's parts that need no engine: its command line, the MIDI
// file bytes, the list of jobs, the refinement on made-up levels and the
// velocities of its notes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/converter/batch.h"
#include "tools/converter/midi_file.h"
#include "tools/converter/options.h"
#include "tools/converter/refinement.h"
#include "tools/converter/velocities.h"
#include "tests/converter/midi_reading.h"
#include "tests/test_folder.h"

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
    EXPECT_EQ(runJobs(jobs, 2, true, convert), exitFailed);
    jobs.resize(3);
    EXPECT_EQ(runJobs(jobs, 3, true, convert), 0);
}

// --- refinement ---

std::array<int, rowCount> windows(float windowFactor) {
    std::array<int, rowCount> lengths{};
    for (int r = 0; r < rowCount; ++r) {
        const double frequency = 440.0 * std::pow(2.0, (r - 33) / 12.0);
        lengths[r] = static_cast<int>(std::min(88200.0, std::round(windowFactor * 2400000 / frequency)));
    }
    return lengths;
}

// Levels of tones that start at given times: each row ramps up over its
// window, as a window filling with the tone does, then holds (times
// tremolo) until the tone stops.
struct Tone {
    int row;
    double start;
    double stop;
    float level;
    float tremolo = 0.0f;  // depth of a 6 Hz wobble
};

LevelHistory levelsOf(const std::vector<Tone>& tones, const std::array<int, rowCount>& window, double length) {
    LevelHistory history;
    for (double t = 0.0; t < length; t += 0.025) {
        RowLevels levels{};
        for (const Tone& tone : tones) {
            const double w = window[tone.row] / 44100.0;
            double fill = std::clamp((t - tone.start) / w, 0.0, 1.0) - std::clamp((t - tone.stop) / w, 0.0, 1.0);
            fill *= 1.0 + tone.tremolo * std::sin(2 * M_PI * 6 * t);
            levels[tone.row] += static_cast<float>(tone.level * fill);
        }
        history.times.push_back(t);
        history.levels.push_back(levels);
    }
    return history;
}

TEST(ConverterRefinement, AToneWithItsHarmonicsIsOneNoteAtItsStart) {
    const auto window = windows(0.6f);
    // Row 33 (A4) with partials on the octave, the twelfth and beyond.
    std::vector<Tone> tones = {{33, 1.0, 2.0, 60}, {45, 1.0, 2.0, 70}, {52, 1.0, 2.0, 40}, {57, 1.0, 2.0, 20}};
    const std::vector<RefinedNote> notes = refineNotes(levelsOf(tones, window, 3.0), window);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].note, 69);
    EXPECT_NEAR(notes[0].onset, 1.0, 0.03);
    EXPECT_GT(notes[0].offset, 1.9);
}

TEST(ConverterRefinement, AHeldToneThatWavesIsNotStruckAgainButARealRestrikeIs) {
    const auto window = windows(0.6f);
    const std::vector<RefinedNote> held =
        refineNotes(levelsOf({{40, 0.5, 4.0, 60, 0.3f}}, window, 5.0), window);
    ASSERT_EQ(held.size(), 1u) << "at " << (held.size() > 1 ? held[1].onset : 0.0);

    const std::vector<RefinedNote> twice =
        refineNotes(levelsOf({{40, 0.5, 1.5, 60}, {40, 1.7, 2.5, 60}}, window, 3.0), window);
    ASSERT_EQ(twice.size(), 2u);
    EXPECT_NEAR(twice[1].onset, 1.7, 0.03);
    EXPECT_LE(twice[0].offset, twice[1].onset);

    // Struck again, four times as loud, before the first strike faded.
    const std::vector<RefinedNote> ringing =
        refineNotes(levelsOf({{40, 0.5, 3.0, 20}, {40, 1.5, 3.0, 60}}, window, 4.0), window);
    ASSERT_EQ(ringing.size(), 2u);
    EXPECT_NEAR(ringing[1].onset, 1.5, 0.03);
}

TEST(ConverterRefinement, AWaveringPartialOfAHeldNoteIsNoNoteButANewNoteOnItIs) {
    const auto window = windows(0.6f);
    // A4 held, its octave row dipping to a quarter every quarter second.
    LevelHistory wavering = levelsOf({{33, 0.5, 4.0, 60}, {45, 0.5, 4.0, 30}}, window, 5.0);
    for (std::size_t k = 40; k < 160; k += 10) wavering.levels[k][45] *= 0.25f;
    const std::vector<RefinedNote> held = refineNotes(wavering, window);
    ASSERT_EQ(held.size(), 1u) << "also " << (held.size() > 1 ? held[1].note : 0);
    EXPECT_EQ(held[0].note, 69);

    const std::vector<RefinedNote> octave = refineNotes(
        levelsOf({{33, 0.5, 4.0, 60}, {45, 0.5, 4.0, 20}, {45, 2.0, 3.0, 60}}, window, 5.0), window);
    ASSERT_EQ(octave.size(), 2u);
    EXPECT_EQ(octave[1].note, 81);
    EXPECT_NEAR(octave[1].onset, 2.0, 0.03);
}

TEST(ConverterRefinement, AChordGivesEachOfItsNotesAndSilenceGivesNone) {
    const auto window = windows(0.6f);
    const std::vector<RefinedNote> chord =
        refineNotes(levelsOf({{24, 1.0, 2.0, 50}, {28, 1.0, 2.0, 45}, {31, 1.0, 2.0, 40}}, window, 3.0), window);
    std::vector<int> found;
    for (const RefinedNote& note : chord) found.push_back(note.note);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{60, 64, 67}));
    EXPECT_TRUE(refineNotes(levelsOf({}, window, 3.0), window).empty());
}

// --- velocities ---

TEST(ConverterVelocities, EachPeakAgainstTheLoudestOnTheGeneralMidiCurve) {
    // Nine notes at 100 and one at 400: the loud level is 100, reached by
    // one note in ten and passed by none.
    std::vector<float> peaks(9, 100.0f);
    peaks.push_back(400.0f);
    const std::vector<int> velocities = refinedVelocities(peaks, 0.2f);
    EXPECT_EQ(velocities.front(), loudVelocity);
    EXPECT_EQ(velocities.back(), 127) << "twice the loud one's amplitude, clipped";

    // Beside five more loud ones: quieter by 6, 12 and 24 dB, silent, and
    // unmeasurable.
    std::vector<float> levels = {100.0f, 50.0f, 25.0f, 6.25f, 0.0f, std::nanf("")};
    levels.insert(levels.end(), 5, 100.0f);
    const auto firstSix = [](const std::vector<int>& v) { return std::vector<int>(v.begin(), v.begin() + 6); };
    EXPECT_EQ(firstSix(refinedVelocities(levels, 0.2f)), (std::vector<int>{108, 76, 54, 27, 1, 1}));
    EXPECT_EQ(firstSix(refinedVelocities(levels, 0.1f)), (std::vector<int>{54, 38, 27, 14, 1, 1}))
        << "vol scales them";
    EXPECT_TRUE(refinedVelocities({}, 0.2f).empty());
}

}  // namespace
}  // namespace korvane::converter
