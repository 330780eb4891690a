// Eight rows abreast in 256-bit vectors. Built with -mavx2 and
// -ffp-contract=off, and called only where the processor has AVX2.
// Everything here but measureRows has internal linkage, and the ring is
// read by a builtin rather than std::atomic<float>'s load: the only inline
// functions shared with other files that this file emits (unoptimised:
// std::array accessors and the like) hold no instruction that AVX encodes, so
// the linker may keep any copy of them.
//
// Every lane does the single-precision operations of one row at a time
// (pitch_analysis.cpp's correlate) in the same order, so the levels are the
// same to the last bit. A lane's sums sit side by side (re, im), four lanes
// to a vector; each term multiplies (v, v) by the kernel's (cos, sin) pair.
//
// The entries (relaxed atomic loads, as the output thread stores them) and
// the kernel pairs come in by scalar loads, shuffled or broadcast and
// blended into place: on the processor measured, AVX2 gathers took about
// twice as long as the loads they replace. Rows with the same stride from
// the same readMark read the same entries, so four such rows share one read
// position for as long as all four have terms left (sharedTerms); the rest
// of every row, and the rows left out of such groups, run with a read
// position per lane (ownTerms), each lane taking the next row when its own
// ends.
#include <immintrin.h>

#include <algorithm>
#include <climits>

#include "tomidi/pitch_analysis.h"

namespace korvane::avx2 {

namespace {

constexpr int laneCount = 8;
constexpr int groupSize = 4;  // lanes per vector, and rows per group that share entries
constexpr int noTerms = INT_MAX;  // left of a lane without a row

// Where a row's measurement stands: nothing done yet (x is then set from a
// fresh readMark when a lane takes the row), or where a shared run left it.
struct RowState {
    int row = 0;
    int done = 0;  // terms added
    float x = 0.0f;
    float re = 0.0f;
    float im = 0.0f;
};

// The lanes' state between runs of terms.
struct Lanes {
    alignas(32) float x[laneCount] = {};
    alignas(32) float step[laneCount] = {};
    alignas(32) float sums[2 * laneCount] = {};  // (re, im) of lane 0, lane 1, ...
    int row[laneCount] = {};
    int phaseAt[laneCount] = {};  // index into the whole phase table of the last lag added
    int stride[laneCount] = {};
    int left[laneCount] = {};  // terms still to add; noTerms without a row
};

#define KORVANE_INLINE [[gnu::always_inline]] inline

// Two 32-bit lane values in one 64-bit word, the even lane low.
KORVANE_INLINE std::uint64_t pack(const int* pair) {
    return static_cast<std::uint32_t>(pair[0]) | static_cast<std::uint64_t>(static_cast<std::uint32_t>(pair[1])) << 32;
}
KORVANE_INLINE std::uint32_t lowHalf(std::uint64_t two) { return static_cast<std::uint32_t>(two); }
KORVANE_INLINE std::uint32_t highHalf(std::uint64_t two) { return static_cast<std::uint32_t>(two >> 32); }

// The eight lanes' phase-table indices, two to a general register, so that
// one addition advances two lanes and no vector has to be taken apart to
// address the table. Indices stay below 2^23: no carry crosses into the
// high half. Named words rather than an array, which the compiler would
// keep in memory.
struct PhaseWalk {
    std::uint64_t at01, at23, at45, at67;
    std::uint64_t by01, by23, by45, by67;

    explicit PhaseWalk(const Lanes& lanes)
        : at01(pack(lanes.phaseAt)), at23(pack(lanes.phaseAt + 2)), at45(pack(lanes.phaseAt + 4)),
          at67(pack(lanes.phaseAt + 6)), by01(pack(lanes.stride)), by23(pack(lanes.stride + 2)),
          by45(pack(lanes.stride + 4)), by67(pack(lanes.stride + 6)) {}
    KORVANE_INLINE void advance() {
        at01 += by01;
        at23 += by23;
        at45 += by45;
        at67 += by67;
    }
    void store(Lanes& lanes) const {
        const std::uint64_t words[] = {at01, at23, at45, at67};
        for (int i = 0; i < laneCount / 2; ++i) {
            lanes.phaseAt[2 * i] = static_cast<int>(lowHalf(words[i]));
            lanes.phaseAt[2 * i + 1] = static_cast<int>(highHalf(words[i]));
        }
    }
};

// The kernel pairs of four lanes at their current phase-table indices, as
// their sums sit: (c0, s0, c1, s1, ...).
KORVANE_INLINE __m256 kernelOf(std::uint64_t lanes01, std::uint64_t lanes23) {
    const double* pairs = reinterpret_cast<const double*>(kernelTable.pairs.data());
    const std::uint16_t* phases = phaseTable[0].data();
    const auto pair = [&](std::uint32_t at) { return _mm256_broadcast_sd(pairs + phases[at]); };
    const __m256d first = _mm256_blend_pd(pair(lowHalf(lanes01)), pair(highHalf(lanes01)), 0b1010);
    const __m256d second = _mm256_blend_pd(pair(lowHalf(lanes23)), pair(highHalf(lanes23)), 0b1010);
    return _mm256_castpd_ps(_mm256_blend_pd(first, second, 0b1100));
}

// The ring entry, loaded as the output thread stores it: relaxed.
KORVANE_INLINE float entryAt(std::uint32_t at) {
    float value;
    __atomic_load(reinterpret_cast<const float*>(&analysisRing.samples[at]), &value, __ATOMIC_RELAXED);
    return value;
}

// Steps read positions back by step, continuing at wrapEntry below 0. The
// sign bit chooses: x - step is never -0 or NaN for the steps and marks the
// measurement uses (step > 0, x >= 0), so it is set exactly when x < 0.
KORVANE_INLINE __m128 stepBack(__m128 x, __m128 step, __m128 wrap) {
    x = _mm_sub_ps(x, step);
    return _mm_blendv_ps(x, wrap, x);
}
KORVANE_INLINE __m256 stepBack(__m256 x, __m256 step, __m256 wrap) {
    x = _mm256_sub_ps(x, step);
    return _mm256_blendv_ps(x, wrap, x);
}

// count terms in every lane, where lanes 0 .. 3 share the read position of
// lane 0 and lanes 4 .. 7 that of lane 4.
void sharedTerms(Lanes& lanes, int count) {
    const __m128 wrap = _mm_set1_ps(wrapEntry);
    const __m128 step = _mm_setr_ps(lanes.step[0], lanes.step[groupSize], 0.0f, 0.0f);
    __m128 x = _mm_setr_ps(lanes.x[0], lanes.x[groupSize], 0.0f, 0.0f);
    __m256 low = _mm256_load_ps(lanes.sums);
    __m256 high = _mm256_load_ps(lanes.sums + laneCount);
    PhaseWalk walk(lanes);
    for (int n = 0; n < count; ++n) {
        x = stepBack(x, step, wrap);
        const auto entries = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_cvtps_epi32(x)));
        walk.advance();
        const __m256 v0 = _mm256_set1_ps(entryAt(lowHalf(entries)));
        const __m256 v1 = _mm256_set1_ps(entryAt(highHalf(entries)));
        low = _mm256_add_ps(low, _mm256_mul_ps(v0, kernelOf(walk.at01, walk.at23)));
        high = _mm256_add_ps(high, _mm256_mul_ps(v1, kernelOf(walk.at45, walk.at67)));
    }
    for (int j = 0; j < laneCount; ++j) lanes.x[j] = _mm_cvtss_f32(j < groupSize ? x : _mm_movehdup_ps(x));
    _mm256_store_ps(lanes.sums, low);
    _mm256_store_ps(lanes.sums + laneCount, high);
    walk.store(lanes);
}

// Four lanes' entries, each twice, as their sums sit: (v0, v0, v1, v1, ...).
KORVANE_INLINE __m256 entriesOf(__m128i lanes) {
    const auto lanes01 = static_cast<std::uint64_t>(_mm_cvtsi128_si64(lanes));
    const auto lanes23 = static_cast<std::uint64_t>(_mm_extract_epi64(lanes, 1));
    const auto entry = [](std::uint32_t at) { return _mm_set_ss(entryAt(at)); };
    const __m128 v01 = _mm_unpacklo_ps(entry(lowHalf(lanes01)), entry(highHalf(lanes01)));
    const __m128 v23 = _mm_unpacklo_ps(entry(lowHalf(lanes23)), entry(highHalf(lanes23)));
    const __m256i twice = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_movelh_ps(v01, v23)), twice);
}

// count terms in every lane, each lane at its own read position.
void ownTerms(Lanes& lanes, int count) {
    const __m256 wrap = _mm256_set1_ps(wrapEntry);
    const __m256 step = _mm256_load_ps(lanes.step);
    __m256 x = _mm256_load_ps(lanes.x);
    __m256 low = _mm256_load_ps(lanes.sums);
    __m256 high = _mm256_load_ps(lanes.sums + laneCount);
    PhaseWalk walk(lanes);
    for (int n = 0; n < count; ++n) {
        x = stepBack(x, step, wrap);
        const __m256i entries = _mm256_cvtps_epi32(x);
        walk.advance();
        const __m256 v03 = entriesOf(_mm256_castsi256_si128(entries));
        const __m256 v47 = entriesOf(_mm256_extracti128_si256(entries, 1));
        low = _mm256_add_ps(low, _mm256_mul_ps(v03, kernelOf(walk.at01, walk.at23)));
        high = _mm256_add_ps(high, _mm256_mul_ps(v47, kernelOf(walk.at45, walk.at67)));
    }
    _mm256_store_ps(lanes.x, x);
    _mm256_store_ps(lanes.sums, low);
    _mm256_store_ps(lanes.sums + laneCount, high);
    walk.store(lanes);
}

// The read position a row starts from: the entry being filled now.
float freshMark() {
    readMark = analysisRing.writePos.load(std::memory_order_acquire);
    return static_cast<float>(readMark);
}

// The lane takes up the row where state leaves it.
void take(Lanes& lanes, int lane, const RowState& state, const RowOrder& order) {
    const Budget& budget = order.budgets[state.row];
    lanes.x[lane] = state.x;
    lanes.step[lane] = kz0 * static_cast<float>(budget.stride);
    lanes.sums[2 * lane] = state.re;
    lanes.sums[2 * lane + 1] = state.im;
    lanes.row[lane] = state.row;
    lanes.phaseAt[lane] = state.row * phaseLags + budget.stride * state.done;
    lanes.stride[lane] = budget.stride;
    lanes.left[lane] = budget.terms - state.done;
}

RowState stateOf(const Lanes& lanes, int lane, const RowOrder& order) {
    const int row = lanes.row[lane];
    return {row, order.budgets[row].terms - lanes.left[lane], lanes.x[lane], lanes.sums[2 * lane],
            lanes.sums[2 * lane + 1]};
}

// The lane stands still on entry 0 of the phase table, reading nothing new.
void idle(Lanes& lanes, int lane) {
    lanes.step[lane] = 0.0f;
    lanes.phaseAt[lane] = 0;
    lanes.stride[lane] = 0;
    lanes.left[lane] = noTerms;
}

void finish(Lanes& lanes, int lane, const RowOrder& order) {
    const int row = lanes.row[lane];
    noteRows[row].noteLevel = levelOfSums(lanes.sums[2 * lane], lanes.sums[2 * lane + 1], order.budgets[row].terms);
    idle(lanes, lane);
}

// The rows still to measure with a read position per lane, most terms left first.
struct Queue {
    RowState states[noteRowCount];
    int count = 0;
    int next = 0;
};

int leftOf(const RowState& state, const RowOrder& order) { return order.budgets[state.row].terms - state.done; }

// Groups of four rows with one stride and similar term counts, the rows
// taken in lockstep order; the rows of no group join the queue.
struct Groups {
    int rows[noteRowCount];  // four per group, most terms first
    int count = 0;
};

void formGroups(const RowOrder& order, Groups& groups, Queue& queue) {
    bool placed[noteRowCount] = {};
    for (int first = 0; first < noteRowCount; ++first) {
        if (placed[first]) continue;
        const int stride = order.budgets[order.rows[first]].stride;
        int members[groupSize];
        int found = 0;
        for (int place = first; place < noteRowCount && found < groupSize; ++place)
            if (!placed[place] && order.budgets[order.rows[place]].stride == stride) members[found++] = place;
        if (found < groupSize) continue;
        for (int j = 0; j < groupSize; ++j) {
            placed[members[j]] = true;
            groups.rows[groupSize * groups.count + j] = order.rows[members[j]];
        }
        ++groups.count;
    }
    for (int place = 0; place < noteRowCount; ++place)
        if (!placed[place]) queue.states[queue.count++] = {order.rows[place]};
}

}  // namespace

void measureRows(const RowOrder& order) {
    Lanes lanes;
    for (int lane = 0; lane < laneCount; ++lane) idle(lanes, lane);
    Queue queue;
    Groups groups;
    formGroups(order, groups, queue);

    // Two groups at a time, one to each half of the lanes, each running to
    // its common terms; the rest of its rows wait in the queue. Once no group
    // is left for a half, both halves go on with a read position per lane.
    int nextGroup = 0;
    int sharedLeft[2] = {0, 0};
    while (true) {
        bool refilled = true;
        for (int half = 0; half < 2; ++half) {
            if (sharedLeft[half] > 0) continue;
            if (nextGroup == groups.count) {
                refilled = false;
                break;
            }
            const float mark = freshMark();  // one for the group: its rows read the same entries
            for (int j = 0; j < groupSize; ++j) {
                const int lane = half * groupSize + j;
                if (lanes.left[lane] == 0)
                    finish(lanes, lane, order);
                else if (lanes.left[lane] != noTerms)
                    queue.states[queue.count++] = stateOf(lanes, lane, order);
                take(lanes, lane, {groups.rows[groupSize * nextGroup + j], 0, mark}, order);
            }
            sharedLeft[half] = lanes.left[half * groupSize + groupSize - 1];
            ++nextGroup;
        }
        if (!refilled) break;
        const int run = std::min(sharedLeft[0], sharedLeft[1]);
        sharedTerms(lanes, run);
        for (int half = 0; half < 2; ++half) sharedLeft[half] -= run;
        for (int& left : lanes.left) left -= run;
    }

    std::sort(queue.states, queue.states + queue.count,
              [&](const RowState& a, const RowState& b) { return leftOf(a, order) > leftOf(b, order); });
    while (true) {
        int run = noTerms;
        for (int lane = 0; lane < laneCount; ++lane) {
            if (lanes.left[lane] == 0) finish(lanes, lane, order);
            if (lanes.left[lane] == noTerms && queue.next < queue.count) {
                RowState state = queue.states[queue.next++];
                if (state.done == 0) state.x = freshMark();
                take(lanes, lane, state, order);
            }
            run = std::min(run, lanes.left[lane]);
        }
        if (run == noTerms) return;
        ownTerms(lanes, run);
        for (int& left : lanes.left)
            if (left != noTerms) left -= run;
    }
}

}  // namespace korvane::avx2
