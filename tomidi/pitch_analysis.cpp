// Built with -ffp-contract=off: a fused multiply-add would change the sums'
// last bits.
#include "tomidi/pitch_analysis.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "app/text/number_text.h"
#include "app/text/start_values.h"
#include "engine/primitives/primitives.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {

std::array<NoteRow, noteRowCount> noteRows;
KernelTable kernelTable;
std::array<PhaseRow, noteRowCount> phaseTable;
int readMark = 0;
float kz0 = 1.0f;
float aux = 0.0f;
int peakRow = 0;

namespace {

const StartValues initial(readMark, kz0, aux, peakRow);

}  // namespace

void resetPitchAnalysis() {
    for (NoteRow& row : noteRows) row.noteLevel = NoteRow{}.noteLevel;
    initial.restore();
}

namespace {

constexpr float baseFrequency = 440.0f;  // row 33
constexpr int baseRow = 33;
// Entries per window at windowFactor 1 and 1 Hz: 54.4 cycles at 44100 entries a second.
constexpr float windowCycles = 2400000.0f;
constexpr int longestWindow = analysisRingUsed;
constexpr float twoPi = 6.2831855f;   // single precision
constexpr float fourPi = 12.566371f;
// Lag i spans i x f / 44100 cycles: a = i x f / 88200 is half of that, and
// 4 pi a the phase in radians.
constexpr float halfCycleDivisor = 88200.0f;
// A harmonic falls on a row when it is within a fifth of a semitone: 2^(1/60) - 1.
constexpr double harmonicTolerance = 0.01161944030192252;
constexpr float levelDivisor = 30.0f;  // per term
constexpr float loudEnoughToTune = 20.0f;
constexpr float kz0Lowest = 0.9f;
constexpr float kz0Highest = 1.1f;
constexpr float kz0Backoff = 0.005f;
// The lowest and highest rows the tuning may follow: a peak needs both neighbours.
constexpr int tuneFrom = 10;
constexpr int tuneTo = highestRow - 10;

// Nearest ring entry, ties to even (the processor's default rounding).
inline std::int64_t nearestEntry(float position) { return _mm_cvtss_si64(_mm_set_ss(position)); }

inline float ringEntry(std::int64_t index) {
    return analysisRing.samples[index].load(std::memory_order_relaxed);
}

// One term: step back, wrapping below 0 to the last used entry exactly,
// and add the entry's products with the kernel at phase position k.
inline void addTerm(float& x, float& re, float& im, float step, int k) {
    x = x - step;
    if (x < 0.0f) x = wrapEntry;
    const float v = ringEntry(nearestEntry(x));
    re = re + v * kernelTable.cosine[k];
    im = im + v * kernelTable.sine[k];
}

// Terms 1 .. terms of a row whose lag grows by stride per term, from readMark.
float correlate(int row, int stride, int terms, float step) {
    const std::uint16_t* phases = phaseTable[row].data();
    float x = static_cast<float>(readMark);
    float re = 0.0f;
    float im = 0.0f;
    for (int i = 1; i <= terms; ++i) addTerm(x, re, im, step, phases[stride * i]);
    return levelOfSums(re, im, terms);
}

// Rows measured in lockstep, four at a time, so that their independent
// chains of sums overlap in the processor. Each row keeps its own sums in
// their own order, in the low two lanes of a vector (re, im): the same
// single-precision operations as one row at a time.
struct Lane {
    int row = 0;
    int terms = 0;
    int stride = 1;
    float step = 0.0f;
    const std::uint16_t* phase = nullptr;  // at the lag of the last term added
    float x = 0.0f;
    __m128 sums = _mm_setzero_ps();
};

Lane laneFor(int row, const Budget& budget) {
    Lane lane;
    lane.row = row;
    lane.terms = budget.terms;
    lane.stride = budget.stride;
    lane.step = kz0 * static_cast<float>(budget.stride);
    lane.phase = phaseTable[row].data();
    return lane;
}

inline void addLaneTerm(Lane& lane) {
    lane.x = lane.x - lane.step;
    if (lane.x < 0.0f) lane.x = wrapEntry;
    const __m128 v = _mm_set1_ps(ringEntry(nearestEntry(lane.x)));
    lane.phase += lane.stride;
    const auto* pair = reinterpret_cast<const double*>(kernelTable.pairs[*lane.phase].data());
    const __m128 k = _mm_castpd_ps(_mm_load_sd(pair));
    lane.sums = _mm_add_ps(lane.sums, _mm_mul_ps(v, k));
}

// The terms from done + 1 on, then the level.
void finishLane(Lane lane, int done) {
    for (int i = done + 1; i <= lane.terms; ++i) addLaneTerm(lane);
    const float re = _mm_cvtss_f32(lane.sums);
    const float im = _mm_cvtss_f32(_mm_shuffle_ps(lane.sums, lane.sums, 1));
    noteRows[lane.row].noteLevel = levelOfSums(re, im, lane.terms);
}

// Four lanes as separate values whose addresses are never taken, so that
// they live in registers.
void measureFour(Lane a, Lane b, Lane c, Lane d) {
    readMark = analysisRing.writePos.load(std::memory_order_acquire);
    a.x = b.x = c.x = d.x = static_cast<float>(readMark);
    const int common = std::min(std::min(a.terms, b.terms), std::min(c.terms, d.terms));
    for (int i = 1; i <= common; ++i) {
        addLaneTerm(a);
        addLaneTerm(b);
        addLaneTerm(c);
        addLaneTerm(d);
    }
    finishLane(a, common);
    finishLane(b, common);
    finishLane(c, common);
    finishLane(d, common);
}

void measureOne(Lane lane) {
    readMark = analysisRing.writePos.load(std::memory_order_acquire);
    lane.x = static_cast<float>(readMark);
    finishLane(lane, 0);
}

void subtractHarmonics() {
    for (int r = 0; r <= highestRow; ++r) {
        const NoteRow& fundamental = noteRows[r];
        for (int h = firstHarmonic; h <= fundamental.harmonicCount; ++h) {
            const int u = fundamental.harmonicRow[h];
            if (u <= 0 || u > highestRow) continue;
            float& level = noteRows[u].noteLevel;
            level = std::max(0.0f, level - fundamental.harmonicWeight[h] * fundamental.noteLevel);
        }
    }
}

void buildHarmonics(int r, int harmo) {
    NoteRow& row = noteRows[r];
    row.harmonicCount = 0;
    for (int h = firstHarmonic; h <= lastHarmonic; ++h) {
        row.harmonicRow[h] = noHarmonicRow;
        row.harmonicWeight[h] = 0.0f;
        if (harmo <= 0) continue;
        for (int u = r; u <= highestRow; ++u) {
            if (std::fabs(std::exp2((u - r) / 12.0) / h - 1.0) < harmonicTolerance) {
                row.harmonicRow[h] = u;
                row.harmonicWeight[h] =
                    (2.0f * static_cast<float>(harmo) / 10.0f) / std::exp2(static_cast<float>(h - 1));
                row.harmonicCount = h;
                break;
            }
        }
    }
}

// sign(v) x |v|^exponent, with sign(0) = 0.
float shaped(float v, float exponent) {
    if (v == 0.0f) return 0.0f;
    const float magnitude = std::pow(std::fabs(v), exponent);
    return v > 0.0f ? magnitude : -magnitude;
}

// count + square, rounded to the nearest integer (ties to even).
int countUp(int count, float square) {
    return static_cast<int>(std::nearbyint(static_cast<double>(count) + static_cast<double>(square)));
}

void buildKernel(float exponent) {
    int rawCount = 0;
    int shapedCount = 0;
    for (int i = 0; i <= kernelPeriod; ++i) {
        // The angle keeps double precision; only the constant is single.
        const double angle = static_cast<double>(twoPi) * i / kernelPeriod;
        const float cv = static_cast<float>(std::cos(angle));
        const float sv = static_cast<float>(std::sin(angle));
        rawCount = countUp(rawCount, cv * cv);
        const float cs = shaped(cv, exponent);
        const float ss = shaped(sv, exponent);
        shapedCount = countUp(shapedCount, cs * cs);
        kernelTable.cosine[i] = ringFloor + cs;
        kernelTable.sine[i] = ringFloor + ss;
    }
    kernelTable.rawCount = rawCount;
    kernelTable.scaleA = roundToInt(0.7 * std::sqrt(static_cast<double>(rawCount)));
    // Position 0, where the cosine is 1, counts for every exponent: B >= 1.
    kernelTable.scaleB = roundToInt(std::sqrt(static_cast<double>(shapedCount)));
    const float scale = static_cast<float>(kernelTable.scaleA) / static_cast<float>(kernelTable.scaleB);
    for (int i = 0; i <= kernelPeriod; ++i) {
        kernelTable.cosine[i] *= scale;
        kernelTable.sine[i] *= scale;
        kernelTable.pairs[i] = {kernelTable.cosine[i], kernelTable.sine[i]};
    }
    kernelTable.plotScale = static_cast<float>(kernelTable.scaleB) / static_cast<float>(kernelTable.scaleA);
}

// Rows with similar term counts side by side, so that lanes measured abreast
// finish close together.
RowOrder lockstepOrder() {
    RowOrder order;
    for (int r = 0; r <= highestRow; ++r) {
        order.budgets[r] = budgetOf(r);
        int place = r;
        for (; place > 0 && order.budgets[order.rows[place - 1]].terms < order.budgets[r].terms; --place)
            order.rows[place] = order.rows[place - 1];
        order.rows[place] = r;
    }
    return order;
}

// Four rows at a time, then the rest one by one. Each group takes a fresh
// readMark; the levels do not depend on the order of the rows.
void measureFourAbreast(const RowOrder& order) {
    const auto lane = [&](int place) {
        const int row = order.rows[place];
        return laneFor(row, order.budgets[row]);
    };
    int place = 0;
    for (; place + 4 <= noteRowCount; place += 4)
        measureFour(lane(place), lane(place + 1), lane(place + 2), lane(place + 3));
    for (; place < noteRowCount; ++place) measureOne(lane(place));
}

}  // namespace

float levelOfSums(float re, float im, int terms) {
    return std::sqrt(re * re + im * im) / (levelDivisor * static_cast<float>(terms));
}

void buildNoteTables() {
    const ToMidiSettings& settings = toMidiSettings;
    for (int r = 0; r <= highestRow; ++r) {
        NoteRow& row = noteRows[r];
        row.frequency = static_cast<float>(baseFrequency * std::exp2((r - baseRow) / 12.0));
        // At least one term, whatever the factor: a window without terms has no level.
        const float entries = settings.windowFactor * windowCycles / row.frequency;
        row.windowLength = std::clamp(roundToInt(entries), 1, longestWindow);
        row.outputDelay = std::max(0.0, 0.3 - 0.999 * row.windowLength / 88200.0);
        buildHarmonics(r, settings.harmo);
    }
    buildKernel(settings.sinExponent);
}

void buildPhaseTable() {
    for (int r = 0; r <= highestRow; ++r) {
        const float frequency = noteRows[r].frequency;
        for (int i = 0; i < phaseLags; ++i) {
            const float a = static_cast<float>(i) * frequency / halfCycleDivisor;
            const float b = fourPi * a;
            const double position = std::floor(10000.0 * static_cast<double>(b) / static_cast<double>(twoPi));
            phaseTable[r][i] = static_cast<std::uint16_t>(static_cast<long long>(position) % kernelPeriod);
        }
    }
    clearAnalysisRing();
}

Budget budgetOf(int row) {
    const int length = noteRows[row].windowLength;
    const int stride = length / std::max(1, toMidiSettings.cpu);
    if (stride < 2) return {length, 1};
    // The last lag, stride x terms, may pass the window by half a stride;
    // it never passes the phase table.
    const int terms = std::min(roundToInt(static_cast<double>(length) / stride), (phaseLags - 1) / stride);
    return {terms, stride};
}

float measureLevel(float step, int row) {
    return correlate(row, 1, noteRows[row].windowLength, step);
}

float measureLevelBudgeted(float step, int row) {
    const Budget budget = budgetOf(row);
    return correlate(row, budget.stride, budget.terms, step * static_cast<float>(budget.stride));
}

Lockstep widestLockstep() {
    static const Lockstep widest = ISAVX2() != 0 ? Lockstep::eight : Lockstep::four;
    return widest;
}

void measureAllRows() { measureAllRows(widestLockstep()); }

void measureAllRows(Lockstep width) {
    const RowOrder order = lockstepOrder();
    if (width == Lockstep::eight)
        avx2::measureRows(order);
    else
        measureFourAbreast(order);
    if (toMidiSettings.harmo > 0) subtractHarmonics();
}

bool tuneStep() {
    float best = 0.0f;
    for (int r = tuneFrom; r <= tuneTo; ++r) {
        const float level = noteRows[r].noteLevel;
        if (level > best && level > 1.3f * noteRows[r - 1].noteLevel &&
            level > 1.3f * noteRows[r + 1].noteLevel) {
            best = level;
            peakRow = r;
        }
    }
    readMark = analysisRing.writePos.load(std::memory_order_acquire);
    float l0 = measureLevel(kz0, peakRow);
    // Not above 20, or not a number: nothing to tune on.
    if (!(l0 > loudEnoughToTune)) return false;

    struct Pace {
        float delta;
        float gain;
    };
    static constexpr Pace paces[] = {{0.002f, 10.0f}, {0.002f, 8.0f}, {0.002f, 7.0f}, {0.0015f, 6.0f}};
    const Pace pace = paces[std::clamp(toMidiSettings.lock, 1, 4) - 1];
    const auto share = [&](float l1) { return std::max(0.17f, std::min(1.0f, (l1 - l0) * pace.gain / l0)); };

    float adj = 0.0f;
    for (int iteration = 1; iteration <= toMidiSettings.lock; ++iteration) {
        float l1 = measureLevel(kz0 - pace.delta, peakRow);
        adj = 0.0f;
        if (l1 > l0 && l1 > 10.0f) {
            adj = -share(l1);
            kz0 = kz0 + adj * pace.delta;
            l0 = l1;
        } else {
            l1 = measureLevel(kz0 + pace.delta, peakRow);
            if (l1 > l0 && l1 > 10.0f) {
                const float r = share(l1);
                adj = r;
                kz0 = kz0 + r * pace.delta;
                l0 = l1;
            }
        }
        if (std::fabs(adj) < 0.001f) break;
    }
    aux = std::floor(10000.0f * adj);
    kz0 = std::max(kz0Lowest, std::min(kz0Highest, kz0));
    return true;
}

void backOffTuning() { kz0 = std::max(kz0Lowest, kz0 - kz0Backoff); }

}  // namespace korvane
