// Pitch analysis: how strongly each of 77 equal-tempered notes (MIDI 36 to
// 112) sounds in the most recent stretch of the analysis ring.
//
// Each note row is one bin of a Fourier transform over a window of about
// 54.4 x windowFactor cycles of its frequency, with a kernel shaped by
// sinExponent, decimated to stay within the cpu budget, resampled by the
// tuning step kz0, and with the overtones of lower notes taken out. All
// arithmetic is single precision in a fixed order, so the levels are the
// same to the last bit wherever they are computed.
//
// Main thread only: the tables and parameters change between measurements,
// in the same loop that measures. The ring is read behind its writePos while
// the output thread fills it.
#pragma once

#include <array>
#include <cstdint>

#include "effects/chain/analysis_ring.h"

namespace korvane {

constexpr int highestRow = 76;
constexpr int noteRowCount = highestRow + 1;
constexpr int lowestNote = 36;  // MIDI note of row 0
constexpr int firstHarmonic = 2;
constexpr int lastHarmonic = 8;
constexpr int noHarmonicRow = 9999;

struct NoteRow {
    float frequency = 0.0f;  // Hz; row 33 is 440 Hz
    int windowLength = 0;    // ring entries, 1 .. 88200
    double outputDelay = 0;  // seconds added to the row's events
    // Indexed by the harmonic h, 2 .. 8: the row it falls on (noHarmonicRow
    // when none) and the share of this row's level taken from that row.
    std::array<int, lastHarmonic + 1> harmonicRow{};
    std::array<float, lastHarmonic + 1> harmonicWeight{};
    int harmonicCount = 0;  // largest h with a row, 0 when none
    float noteLevel = 0.0f;  // this frame's level, never negative for finite input
};
extern std::array<NoteRow, noteRowCount> noteRows;

// One period of the shaped kernel. Positions 0 .. 9999 are measured with;
// position 10000 closes the period for the kernel plot.
constexpr int kernelPeriod = 10000;
struct KernelTable {
    std::array<float, kernelPeriod + 1> cosine{};
    std::array<float, kernelPeriod + 1> sine{};
    int rawCount = 0;  // positions where the plain cosine squared rounds up
    int scaleA = 0;    // round(0.7 x sqrt(rawCount))
    int scaleB = 0;    // round(sqrt(count of the shaped cosine))
    float plotScale = 1.0f;  // scaleB / scaleA, for the kernel plot
    // Each position's cosine and sine side by side, so that one load serves
    // both sums of a lockstep measurement.
    alignas(16) std::array<std::array<float, 2>, kernelPeriod + 1> pairs{};
};
extern KernelTable kernelTable;

// Lags 0 .. 88202 of every row: the kernel position of that lag for the
// row's frequency. 0 .. 9999 fits 16 bits, which halves the table.
constexpr int phaseLags = analysisRingLength;
using PhaseRow = std::array<std::uint16_t, phaseLags>;
extern std::array<PhaseRow, noteRowCount> phaseTable;

extern int readMark;  // copy of writePos that a measurement reads backwards from
extern float kz0;     // tuning step, 0.9 .. 1.1; 1.0 measures the note frequencies
extern float aux;     // the last tuning adjustment x 10000, for display
extern int peakRow;   // row the tuning follows; kept from pass to pass

// Frequencies, windows, delays, harmonics and the kernel, from the toMidi
// settings. Run again after windowFactor, sinExponent or harmo change.
void buildNoteTables();
// The phase table from the frequencies, once; then clears the ring.
void buildPhaseTable();
// The levels and the values above as the program starts; the tables stay
// as they were built.
void resetPitchAnalysis();

// The whole window of a row, one term per ring entry (the tuning's measure).
float measureLevel(float step, int row);
// The window decimated so that it has at most about 1.5 x cpu terms.
float measureLevelBudgeted(float step, int row);
// The ring term count and lag stride of a budgeted measurement of the row.
struct Budget {
    int terms = 0;
    int stride = 1;
};
Budget budgetOf(int row);

// Every row's noteLevel for this frame, with step kz0, then the harmonics
// of every row taken from the rows they fall on. Rows are measured several
// abreast, as wide as the processor allows.
void measureAllRows();

// How many rows a measurement of all rows runs abreast: four on every
// processor (SSE2), eight where the processor has AVX2.
enum class Lockstep { four, eight };
Lockstep widestLockstep();
// measureAllRows at the given width; both give the same levels to the last
// bit. eight only where widestLockstep() is eight.
void measureAllRows(Lockstep width);

// One tuning pass: kz0 moves towards the step that makes the strongest note
// stronger. True when that note was loud enough (above 20) to tune on.
bool tuneStep();
// kz0 0.005 lower, when a track ends or starts again inside toMidi; never
// below 0.9, where a step that reaches 0 would read the ring forwards.
void backOffTuning();

// Shared with the eight-abreast measurement, which lives in a file of its
// own compiled for AVX2.

// Where a read position that steps below 0 continues: the last used entry.
constexpr float wrapEntry = static_cast<float>(analysisRingUsed - 1);
// A row's level from its sums, as every measurement finishes it.
float levelOfSums(float re, float im, int terms);
// The rows in lockstep order (most terms first), with their budgets.
struct RowOrder {
    std::array<int, noteRowCount> rows{};
    std::array<Budget, noteRowCount> budgets{};  // indexed by row
};
namespace avx2 {
// Every row's noteLevel, eight rows abreast; call only where the processor
// has AVX2.
void measureRows(const RowOrder& order);
}  // namespace avx2

}  // namespace korvane
