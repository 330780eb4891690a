// Pitch analysis: the kernel, the harmonic rows and weights, the windows
// and their decimation, the phase of each lag, the level of a pure tone,
// the read position's wrap, the lockstep measurement four and eight rows
// abreast against a plain one and against each other, settings from a
// damaged korvane.ini, and tuning.
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "app/config.h"
#include "tomidi_support.h"

namespace korvane {
namespace {

using AnalysisTest = ToMidiTest;

constexpr float lastEntry = 88199.0f;

// The measurement written out plainly, one term after another.
float plainLevel(int row, float kz, int mark) {
    const Budget budget = budgetOf(row);
    const float step = kz * static_cast<float>(budget.stride);
    float x = static_cast<float>(mark);
    float re = 0.0f;
    float im = 0.0f;
    for (int i = 1; i <= budget.terms; ++i) {
        x = x - step;
        if (x < 0.0f) x = lastEntry;
        const float v = analysisRing.samples[static_cast<int>(std::nearbyint(x))];
        const int k = phaseTable[row][budget.stride * i];
        re = re + v * kernelTable.cosine[k];
        im = im + v * kernelTable.sine[k];
    }
    return std::sqrt(re * re + im * im) / (30.0f * static_cast<float>(budget.terms));
}

void fillRing(auto&& valueAt) {
    for (int i = 0; i < analysisRingUsed; ++i) analysisRing.samples[i] = valueAt(i);
}

// A sine of amplitude a (left + right units) at f Hz, ending at writePos.
void fillSine(double a, double f) {
    fillRing([&](int i) { return static_cast<float>(a * std::sin(2 * M_PI * f * i / 44100.0)); });
}

double frequencyOfRow(int row) { return 440.0 * std::exp2((row - 33) / 12.0); }

// Noise under a chord of loud tones, one a little off its row, a bass tone
// whose long windows are decimated, and a high one for the short windows.
void fillNoiseAndTones(std::mt19937& random) {
    std::uniform_real_distribution<float> noise(-4000.0f, 4000.0f);
    const struct {
        double amplitude;
        double frequency;
    } tones[] = {{20000, frequencyOfRow(3)},  {15000, frequencyOfRow(24) * 1.004}, {12000, frequencyOfRow(28)},
                 {9000, frequencyOfRow(31)}, {6000, frequencyOfRow(70)}};
    fillRing([&](int i) {
        double value = noise(random);
        for (const auto& tone : tones) value += tone.amplitude * std::sin(2 * M_PI * tone.frequency * i / 44100.0);
        return static_cast<float>(value) + ringFloor;
    });
}

// The settings the lockstep measurements are compared at: the defaults, the
// heaviest the settings allow, the lightest, the long windows of the least
// cpu (a stride of its own for most low rows), and kernels of other shapes.
struct MeasureSettings {
    int cpu;
    float factor;
    float exponent;
};
constexpr MeasureSettings measureSettings[] = {{4800, 1.0f, 1.0f},   {12000, 1.9f, 1.0f},  {1200, 0.3f, 0.0f},
                                               {1200, 1.9f, 1.0f},   {12000, 1.9f, 60.0f}, {6600, 1.9f, 2.5f}};

void applySettings(const MeasureSettings& settings) {
    toMidiSettings.cpu = settings.cpu;
    toMidiSettings.windowFactor = settings.factor;
    toMidiSettings.sinExponent = settings.exponent;
    buildNoteTables();
}

std::array<float, noteRowCount> levelsAt(Lockstep width) {
    measureAllRows(width);
    std::array<float, noteRowCount> levels;
    for (int r = 0; r <= highestRow; ++r) levels[r] = noteRows[r].noteLevel;
    return levels;
}

// Rows measured four abreast, or eight where the processor has AVX2.
class LockstepTest : public AnalysisTest, public testing::WithParamInterface<Lockstep> {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        if (GetParam() == Lockstep::eight && widestLockstep() != Lockstep::eight)
            GTEST_SKIP() << "the processor has no AVX2";
    }
};

std::string widthName(const testing::TestParamInfo<Lockstep>& info) {
    return info.param == Lockstep::eight ? "EightAbreast" : "FourAbreast";
}

TEST_F(AnalysisTest, KernelCountsFollowTheExponent) {
    const struct {
        float exponent;
        int b;
    } cases[] = {{1, 71}, {0, 100}, {2, 60}, {10, 41}, {60, 26}};
    for (const auto& c : cases) {
        toMidiSettings.sinExponent = c.exponent;
        buildNoteTables();
        EXPECT_EQ(kernelTable.rawCount, 5001) << c.exponent;
        EXPECT_EQ(kernelTable.scaleA, 50) << c.exponent;
        EXPECT_EQ(kernelTable.scaleB, c.b) << c.exponent;
        EXPECT_FLOAT_EQ(kernelTable.plotScale, c.b / 50.0f) << c.exponent;
    }
}

TEST_F(AnalysisTest, KernelIsTheScaledSinusoidOrASquareOfHalves) {
    for (int i : {0, 1, 1250, 2500, 3333, 5000, 7777, 9999, 10000}) {
        const double angle = double(6.2831855f) * i / 10000;
        EXPECT_FLOAT_EQ(kernelTable.cosine[i], (1e-9f + static_cast<float>(std::cos(angle))) * (50.0f / 71.0f)) << i;
        EXPECT_FLOAT_EQ(kernelTable.sine[i], (1e-9f + static_cast<float>(std::sin(angle))) * (50.0f / 71.0f)) << i;
    }
    toMidiSettings.sinExponent = 0;
    buildNoteTables();
    for (int i = 1; i < 10000; i += 7) {
        if (i == 2500 || i == 7500) continue;  // where the single-precision cosine is not exactly 0
        EXPECT_NEAR(std::fabs(kernelTable.cosine[i]), 0.5, 1e-6) << i;
        EXPECT_NEAR(std::fabs(kernelTable.sine[i]), 0.5, 1e-6) << i;
    }
}

TEST_F(AnalysisTest, HarmonicsFallOnTheirRowsButTheSeventhNever) {
    const NoteRow& row0 = noteRows[0];
    const int expected[] = {0, 0, 12, 19, 24, 28, 31, noHarmonicRow, 36};
    for (int h = 2; h <= 8; ++h) EXPECT_EQ(row0.harmonicRow[h], expected[h]) << "harmonic " << h;
    EXPECT_EQ(row0.harmonicCount, 8);
    // A harmonic row must be at most 76.
    EXPECT_EQ(noteRows[40].harmonicRow[8], 76);
    EXPECT_EQ(noteRows[41].harmonicRow[8], noHarmonicRow);
    EXPECT_EQ(noteRows[41].harmonicCount, 6);
    EXPECT_EQ(noteRows[48].harmonicRow[5], 76);
    EXPECT_EQ(noteRows[49].harmonicRow[5], noHarmonicRow);
    EXPECT_EQ(noteRows[64].harmonicRow[2], 76);
    EXPECT_EQ(noteRows[64].harmonicCount, 2);
    EXPECT_EQ(noteRows[65].harmonicCount, 0);
    for (const NoteRow& row : noteRows) EXPECT_EQ(row.harmonicRow[7], noHarmonicRow);

    toMidiSettings.harmo = 0;
    buildNoteTables();
    for (const NoteRow& row : noteRows) EXPECT_EQ(row.harmonicCount, 0);
}

TEST_F(AnalysisTest, HarmonicWeightsHalveWithEachHarmonicAndScaleWithHarmo) {
    const float weights[] = {0, 0, 0.1f, 0.05f, 0.025f, 0.0125f, 0.00625f, 0, 0.0015625f};
    for (int harmo : {1, 10}) {
        toMidiSettings.harmo = harmo;
        buildNoteTables();
        for (int h = 2; h <= 8; ++h)
            EXPECT_FLOAT_EQ(noteRows[3].harmonicWeight[h], weights[h] * static_cast<float>(harmo))
                << "harmo " << harmo << " harmonic " << h;
    }
}

TEST_F(AnalysisTest, WindowsAreDecimatedToTheBudget) {
    const struct {
        int cpu;
        float factor;
        int row;
        int window;
        int stride;
        int terms;
    } cases[] = {{4800, 1.0f, 0, 36694, 7, 5242}, {4800, 1.0f, 12, 18347, 3, 6116},
                 {4800, 1.0f, 33, 5455, 1, 5455}, {4800, 1.0f, 76, 455, 1, 455},
                 {4800, 1.9f, 0, 69718, 14, 4980}};
    for (const auto& c : cases) {
        toMidiSettings.cpu = c.cpu;
        toMidiSettings.windowFactor = c.factor;
        buildNoteTables();
        EXPECT_EQ(noteRows[c.row].windowLength, c.window) << "row " << c.row;
        EXPECT_EQ(budgetOf(c.row).stride, c.stride) << "row " << c.row;
        EXPECT_EQ(budgetOf(c.row).terms, c.terms) << "row " << c.row;
    }
}

TEST_F(AnalysisTest, LowNotesGetNoAddedDelayAndA4WaitsAQuarterSecond) {
    EXPECT_EQ(noteRows[0].outputDelay, 0.0);
    EXPECT_NEAR(noteRows[33].outputDelay, 0.3 - 0.999 * 5455 / 88200, 1e-12);
    EXPECT_NEAR(noteRows[33].outputDelay, 0.24, 0.005);
    for (const NoteRow& row : noteRows) EXPECT_LE(row.outputDelay, 0.3);
}

TEST_F(AnalysisTest, PhaseOfALagIsItsFractionOfACycleInTenThousandths) {
    for (int r = 0; r <= highestRow; ++r) {
        for (int i = 0; i < phaseLags; ++i) ASSERT_LT(phaseTable[r][i], 10000) << r << " " << i;
        for (int i : {0, 1, 100, 4321, 50000, 88202}) {
            const double cycles = i * frequencyOfRow(r) / 44100.0;
            const double expected = 10000.0 * (cycles - std::floor(cycles));
            double difference = std::fabs(phaseTable[r][i] - expected);
            difference = std::min(difference, 10000.0 - difference);
            // Single-precision phases lose a little at long lags.
            EXPECT_LT(difference, 20.0) << "row " << r << " lag " << i;
        }
    }
}

TEST_F(AnalysisTest, PureToneAtARowGivesItsAmplitudeScaledByTheKernel) {
    toMidiSettings.harmo = 0;
    buildNoteTables();
    const double amplitude = 6000.0;
    for (int row : {0, 20, 33, 60, 76}) {
        fillSine(amplitude, frequencyOfRow(row));
        analysisRing.writePos = 50000;
        measureAllRows();
        const double expected = amplitude * (50.0 / 71.0) / 60.0;
        EXPECT_NEAR(noteRows[row].noteLevel, expected, 0.03 * expected) << "row " << row;
        if (row > 0) {
            EXPECT_LT(noteRows[row - 1].noteLevel, 0.25 * expected) << "below row " << row;
        }
        if (row < highestRow) {
            EXPECT_LT(noteRows[row + 1].noteLevel, 0.25 * expected) << "above row " << row;
        }
    }
}

TEST_F(AnalysisTest, ReadPositionBelowZeroContinuesAtTheLastEntryExactly) {
    // From 1 in steps of 0.4: 0.6, 0.2, then 88199.0 and 88198.6 both read
    // entry 88199; a wrap that kept the fraction would read 88200 first.
    toMidiSettings.sinExponent = 60;  // a narrow pulse: every phase counts
    buildNoteTables();
    fillRing([](int) { return 0.0f; });
    analysisRing.samples[88199] = 1000.0f;
    for (int spare = 88200; spare < analysisRingLength; ++spare) analysisRing.samples[spare] = 1e6f;
    readMark = 1;
    const int row = 70;
    const float level = measureLevel(0.4f, row);
    const int k3 = phaseTable[row][3], k4 = phaseTable[row][4];
    const float re = 1000.0f * kernelTable.cosine[k3] + 1000.0f * kernelTable.cosine[k4];
    const float im = 1000.0f * kernelTable.sine[k3] + 1000.0f * kernelTable.sine[k4];
    const float expected = std::sqrt(re * re + im * im) / (30.0f * noteRows[row].windowLength);
    EXPECT_NEAR(level, expected, 1e-6f * expected + 1e-9f);
}

// The lockstep measurement of all rows gives the plain measurement's levels
// to the last bit, wrapped windows included, on noise alone and on tones.
TEST_P(LockstepTest, AllRowsMatchThePlainMeasurementBitForBit) {
    toMidiSettings.harmo = 0;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-40000.0f, 40000.0f);
    std::uniform_real_distribution<float> step(0.9f, 1.1f);
    for (const MeasureSettings& s : measureSettings) {
        applySettings(s);
        for (int trial = 0; trial < 4; ++trial) {
            if (trial % 2 == 0)
                fillRing([&](int) { return sample(random); });
            else
                fillNoiseAndTones(random);
            const int mark = trial == 0 ? 3 : static_cast<int>(random() % analysisRingUsed);
            analysisRing.writePos = mark;
            kz0 = trial == 1 ? 1.0f : step(random);
            const std::array<float, noteRowCount> levels = levelsAt(GetParam());
            for (int r = 0; r <= highestRow; ++r) {
                const float plain = plainLevel(r, kz0, mark);
                ASSERT_EQ(levels[r], plain)
                    << "cpu " << s.cpu << " factor " << s.factor << " row " << r << " mark " << mark;
                readMark = mark;
                ASSERT_EQ(measureLevelBudgeted(kz0, r), plain) << "row " << r;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, LockstepTest, testing::Values(Lockstep::four, Lockstep::eight), widthName);

// With the harmonics taken out, eight rows abreast still give the levels of
// four abreast to the last bit.
TEST_F(AnalysisTest, EightAbreastMatchesFourAbreastWithHarmonicsTakenOut) {
    if (widestLockstep() != Lockstep::eight) GTEST_SKIP() << "the processor has no AVX2";
    std::mt19937 random(11);
    for (int harmo : {1, 10}) {
        toMidiSettings.harmo = harmo;
        for (const MeasureSettings& s : measureSettings) {
            applySettings(s);
            fillNoiseAndTones(random);
            analysisRing.writePos = static_cast<int>(random() % analysisRingUsed);
            kz0 = 1.003f;
            const std::array<float, noteRowCount> four = levelsAt(Lockstep::four);
            const std::array<float, noteRowCount> eight = levelsAt(Lockstep::eight);
            for (int r = 0; r <= highestRow; ++r)
                ASSERT_EQ(eight[r], four[r])
                    << "harmo " << harmo << " cpu " << s.cpu << " factor " << s.factor << " row " << r;
        }
    }
}

TEST_F(AnalysisTest, OctaveLosesItsShareOfTheFundamental) {
    // A tone and its octave at half its amplitude.
    const double f = frequencyOfRow(10);
    fillRing([&](int i) {
        return static_cast<float>(6000 * std::sin(2 * M_PI * f * i / 44100) + 3000 * std::sin(4 * M_PI * f * i / 44100));
    });
    analysisRing.writePos = 40000;
    float octave[11];
    for (int harmo : {0, 1, 10}) {
        toMidiSettings.harmo = harmo;
        buildNoteTables();
        measureAllRows();
        octave[harmo] = noteRows[22].noteLevel;
    }
    const float fundamental = noteRows[10].noteLevel;
    EXPECT_NEAR(octave[0], fundamental / 2, 0.05 * fundamental) << "harmo 0 leaves the levels as measured";
    // Row 3, whose third harmonic is row 22 too, adds a trace of its own.
    EXPECT_NEAR(octave[1], octave[0] - 0.1f * fundamental, 0.002 * fundamental);
    EXPECT_EQ(octave[10], 0.0f) << "a weight of 1 takes more than there is: never below 0";
}

// Settings that only a damaged file can hold never take a measurement
// outside its tables: korvane.ini is limited when read, and the budget
// bounds every window whatever the values.
TEST_F(AnalysisTest, DamagedSettingsNeverReachOutsideTheTables) {
    {
        std::ofstream file(configFileName, std::ios::binary);
        for (int line = 1; line <= 25; ++line) file << "0\r\n";
        file << "finlist\r\n\r\n0\r\nnan\r\n0\r\n99\r\n-7\r\n0\r\ninf\r\n50\r\n";
    }
    readConfiguration();
    EXPECT_EQ(toMidiSettings.lock, 10);
    EXPECT_EQ(toMidiSettings.cpu, 1200);
    EXPECT_EQ(toMidiSettings.sinExponent, 0.0f);
    EXPECT_EQ(toMidiSettings.windowFactor, 1.9f);

    std::mt19937 random(3);
    std::uniform_real_distribution<float> sample(-30000.0f, 30000.0f);
    fillRing([&](int) { return sample(random); });
    for (float factor : {-3.0f, 0.0f, 0.3f, 1.9f, 2.4f, 50.0f}) {
        for (int cpu : {-5, 0, 1, 1200, 6600, 12000}) {
            toMidiSettings.windowFactor = factor;
            toMidiSettings.cpu = cpu;
            buildNoteTables();
            for (int r = 0; r <= highestRow; ++r) {
                const Budget budget = budgetOf(r);
                ASSERT_GE(budget.terms, 1) << factor << " " << cpu << " row " << r;
                ASSERT_LE(budget.stride * budget.terms, phaseLags - 1) << factor << " " << cpu << " row " << r;
            }
            analysisRing.writePos = 5;
            measureAllRows();
            for (const NoteRow& row : noteRows) ASSERT_TRUE(std::isfinite(row.noteLevel)) << factor << " " << cpu;
            for (int lock : {-3, 0, 10, 1000}) {
                toMidiSettings.lock = lock;
                tuneStep();
                ASSERT_GE(kz0, 0.9f);
                ASSERT_LE(kz0, 1.1f);
            }
        }
    }
}

TEST_F(AnalysisTest, QuietStrongestNoteLeavesTheTuningAlone) {
    fillSine(600.0, frequencyOfRow(33) * 1.01);  // level about 7
    analysisRing.writePos = 30000;
    measureAllRows();
    kz0 = 1.02f;
    aux = 123.0f;
    EXPECT_FALSE(tuneStep());
    EXPECT_EQ(kz0, 1.02f);
    EXPECT_EQ(aux, 123.0f);
}

TEST_F(AnalysisTest, TuningFollowsASharpToneAtMost0002APassWithLockOne) {
    // 15 cents: well inside the row's main lobe, which ends about 32 cents
    // away for windows of 54.4 cycles.
    const double sharp = frequencyOfRow(33) * std::exp2(15 / 1200.0);
    fillSine(20000.0, sharp);
    // Low in the ring: far up it, single-precision positions step by 1/128
    // of an entry and hide steps as small as 0.002.
    analysisRing.writePos = 6000;
    measureAllRows();
    float previous = kz0;
    for (int pass = 0; pass < 30; ++pass) {
        ASSERT_TRUE(tuneStep()) << "pass " << pass;
        EXPECT_EQ(peakRow, 33);
        EXPECT_LE(kz0, previous) << "a sharp tone needs a shorter step";
        EXPECT_LE(previous - kz0, 0.002f + 1e-6f) << "pass " << pass;
        previous = kz0;
    }
    // The row measures frequency / kz0: tuned, it hears the sharp tone.
    EXPECT_NEAR(kz0, frequencyOfRow(33) / sharp, 0.002);
    const float tunedLevel = measureLevel(kz0, 33);
    EXPECT_GT(tunedLevel, 1.3f * measureLevel(1.0f, 33));
}

TEST_F(AnalysisTest, TuningFollowsTheLowestOfEqualPeaksAndKeepsItsRowInSilence) {
    for (NoteRow& row : noteRows) row.noteLevel = 1.0f;
    noteRows[20].noteLevel = noteRows[40].noteLevel = 50.0f;
    noteRows[30].noteLevel = 40.0f;
    tuneStep();
    EXPECT_EQ(peakRow, 20);
    for (NoteRow& row : noteRows) row.noteLevel = 1.0f;
    tuneStep();
    EXPECT_EQ(peakRow, 20);
    noteRows[9].noteLevel = 99.0f;  // below the rows the tuning follows
    noteRows[67].noteLevel = 99.0f;
    tuneStep();
    EXPECT_EQ(peakRow, 20);
}

}  // namespace
}  // namespace korvane
