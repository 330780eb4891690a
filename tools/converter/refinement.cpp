#include "tools/converter/refinement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::converter {

namespace {

constexpr double framePeriod = 0.025;  // seconds between analysis frames
constexpr double ringRate = 44100.0;   // ring entries per second

// Attack candidates: the rise over the window span, at least this much and
// at least this share of the level it starts from.
constexpr float minimumRise = 8.0f;
constexpr float minimumRelativeRise = 0.5f;
// Candidates this many frames apart or closer belong to one onset.
constexpr int onsetFrames = 2;
// Rises of other rows below this are noise and take no part in the pitches.
constexpr float riseFloor = 2.0f;
// A note's summed, weighted rise must reach this, and this share of the
// onset's whole rise: a drum hit raises every row a little and no note
// explains much of it.
constexpr float minimumSalience = 16.0f;
constexpr float explainedShare = 0.1f;
// A note's own row must hold at least this share of its strongest partial.
constexpr float fundamentalShare = 0.03f;
constexpr int maximumNotesPerOnset = 6;
// The same note again this soon is the same attack.
constexpr double sameAttack = 0.07;
// A note ends below this share of its peak; a new attack on it counts only
// after a dip to this share, or when it rises by this multiple of the level
// it starts from (a note struck again while its first strike still rings).
constexpr float releaseShare = 0.2f;
constexpr float restrikeDip = 0.5f;
constexpr float restrikeRise = 2.0f;
// A rise on the 2nd, 3rd or 4th partial row of a note still sounding from an
// earlier onset is a note of its own only when that row climbs to this
// multiple of the level it held while the lower note sounded: the partials
// of a held note waver (vibrato moves them through their rows' narrow
// kernels), and their rises are not new notes. A new note's level is taken
// as the highest within attackFrames, the attack time of a bowed or blown
// note.
constexpr float overtoneGrowth = 1.5f;
constexpr int attackFrames = 8;
// A note's time comes from the highest of its rows that rose at least this
// share of its strongest row: short windows place an attack more precisely
// than the long ones of low notes.
constexpr float timingShare = 0.5f;

// Rows above a note where its partials fall: harmonics 1 to 16, the higher
// ones a little sharp, as the partials of real strings are.
struct Partial {
    int rows;
    float weight;  // 1 / sqrt(harmonic number)
};
const std::array<Partial, 16>& partials() {
    static const std::array<Partial, 16> table = [] {
        constexpr int rows[16] = {0, 12, 19, 24, 28, 31, 34, 36, 38, 40, 42, 43, 44, 46, 47, 48};
        std::array<Partial, 16> t{};
        for (int h = 0; h < 16; ++h) t[h] = {rows[h], static_cast<float>(1.0 / std::sqrt(h + 1.0))};
        return t;
    }();
    return table;
}

struct Candidate {
    int frame;
    int row;
};

// rise[k][r]: the largest level of row r in the frames after k, up to its
// window span, less its level at k.
std::vector<RowLevels> risesOf(const LevelHistory& history, const std::array<int, rowCount>& span) {
    const int n = static_cast<int>(history.levels.size());
    std::vector<RowLevels> rise(history.levels.size());
    for (int r = 0; r < rowCount; ++r) {
        for (int k = 0; k < n; ++k) {
            float ahead = -std::numeric_limits<float>::infinity();
            for (int j = 1; j <= span[r]; ++j) ahead = std::max(ahead, history.levels[std::min(k + j, n - 1)][r]);
            rise[k][r] = ahead - history.levels[k][r];
        }
    }
    return rise;
}

std::vector<Candidate> candidatesOf(const LevelHistory& history, const std::vector<RowLevels>& rise,
                                    const std::array<int, rowCount>& span) {
    const int n = static_cast<int>(rise.size());
    std::vector<Candidate> found;
    for (int r = 0; r < rowCount; ++r) {
        const int reach = std::max(2, span[r] / 2);
        for (int k = 0; k < n; ++k) {
            const float x = rise[k][r];
            if (!(x >= minimumRise) || x < minimumRelativeRise * history.levels[k][r]) continue;
            bool peak = true;
            for (int j = std::max(0, k - reach); j <= std::min(n - 1, k + reach) && peak; ++j)
                peak = rise[j][r] <= x;
            if (peak) found.push_back({k, r});
        }
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.row < b.row;
    });
    return found;
}

// The notes of one onset, strongest first, from the rises of its rows.
std::vector<int> pitchesOf(RowLevels residue) {
    float total = 0.0f;
    for (const float rise : residue) total += rise;
    std::vector<int> chosen;
    while (static_cast<int>(chosen.size()) < maximumNotesPerOnset) {
        float best = 0.0f;
        int bestRow = -1;
        for (int p = 0; p < rowCount; ++p) {
            if (!(residue[p] > 0.0f)) continue;
            if ((p > 0 && residue[p - 1] > residue[p]) || (p < rowCount - 1 && residue[p + 1] > residue[p]))
                continue;
            float salience = 0.0f;
            float strongest = 0.0f;
            for (const Partial& partial : partials()) {
                const int u = p + partial.rows;
                if (u >= rowCount) break;
                salience += residue[u] * partial.weight;
                strongest = std::max(strongest, residue[u]);
            }
            if (residue[p] < fundamentalShare * strongest) continue;
            if (salience > best) {
                best = salience;
                bestRow = p;
            }
        }
        if (bestRow < 0 || best < minimumSalience || best < explainedShare * total) break;
        chosen.push_back(bestRow);
        for (const Partial& partial : partials())
            for (int u = bestRow + partial.rows - 1; u <= bestRow + partial.rows + 1; ++u)
                if (u >= 0 && u < rowCount) residue[u] = 0.0f;
    }
    return chosen;
}

// The row that times a note: the highest of its partial rows that rose
// at least timingShare of the most any of them rose at the onset.
int timingRow(const RowLevels& rises, int note) {
    float strongest = 0.0f;
    for (const Partial& partial : partials())
        if (note + partial.rows < rowCount) strongest = std::max(strongest, rises[note + partial.rows]);
    int row = note;
    for (const Partial& partial : partials()) {
        const int u = note + partial.rows;
        if (u < rowCount && rises[u] >= timingShare * strongest) row = std::max(row, u);
    }
    return row;
}

// Where a row's rise peaks near the onset, between frames.
double onsetTime(const LevelHistory& history, const std::vector<RowLevels>& rise, int frame, int row) {
    const int n = static_cast<int>(rise.size());
    const int low = std::max(1, frame - 3);
    const int high = std::min(n - 2, frame + 3);
    if (low > high) return history.times[static_cast<std::size_t>(std::clamp(frame, 0, n - 1))];
    int k = low;
    for (int j = low + 1; j <= high; ++j)
        if (rise[j][row] > rise[k][row]) k = j;
    const double y0 = rise[k - 1][row], y1 = rise[k][row], y2 = rise[k + 1][row];
    const double bend = y0 - 2 * y1 + y2;
    const double shift = bend < 0 ? std::clamp(0.5 * (y0 - y2) / bend, -1.0, 1.0) : 0.0;
    return history.times[k] + shift * framePeriod;
}

int frameAt(const LevelHistory& history, double time) {
    const auto it = std::lower_bound(history.times.begin(), history.times.end(), time);
    const int k = static_cast<int>(it - history.times.begin());
    return std::clamp(k, 0, static_cast<int>(history.times.size()) - 1);
}

// A note sounding on one row, followed frame by frame.
struct Sounding {
    int note = -1;  // index into the result
    int frame = 0;  // frames before this one are accounted for
    float peak = 0.0f;
};

// Lengths, re-strikes and the wavering partials of held notes, as described
// in the header.
std::vector<RefinedNote> trackLengths(const LevelHistory& history, const std::vector<RowLevels>& rise,
                                      const std::vector<RefinedNote>& attacks) {
    const int last = static_cast<int>(history.times.size()) - 1;
    std::vector<RefinedNote> notes;
    std::array<Sounding, rowCount> sounding{};
    const auto level = [&](int k, int row) { return history.levels[static_cast<std::size_t>(k)][row]; };
    // The first frame up to `to` where the note on a row falls below its
    // release share, -1 when it does not; peak follows its level up to there.
    const auto releaseFrame = [&](int row, int to, float& peak) {
        for (int j = sounding[row].frame; j <= to; ++j) {
            peak = std::max(peak, level(j, row));
            if (level(j, row) < releaseShare * peak) return j;
        }
        return -1;
    };
    // Whether the note on a row, begun before frame k - 2, still sounds at k.
    const auto heldAt = [&](int row, int k) {
        const Sounding& s = sounding[row];
        if (s.note < 0 || frameAt(history, notes[static_cast<std::size_t>(s.note)].onset) >= k - 2) return false;
        float peak = s.peak;
        return releaseFrame(row, k, peak) < 0;
    };
    // Whether an attack on a row at frame k is only a partial of a held
    // note wavering.
    const auto waveringPartial = [&](int row, int k) {
        for (int h = 1; h <= 3; ++h) {
            const int lower = row - partials()[static_cast<std::size_t>(h)].rows;
            if (lower < 0 || !heldAt(lower, k)) continue;
            const int from = frameAt(history, notes[static_cast<std::size_t>(sounding[lower].note)].onset);
            float held = 0.0f;
            for (int j = from; j < k; ++j) held += level(j, row);
            held /= static_cast<float>(k - from);
            float reached = 0.0f;
            for (int j = k; j <= std::min(k + attackFrames, last); ++j) reached = std::max(reached, level(j, row));
            if (reached < overtoneGrowth * held) return true;
        }
        return false;
    };

    for (const RefinedNote& attack : attacks) {
        const int row = attack.note - lowestNote;
        const int k = frameAt(history, attack.onset);
        if (waveringPartial(row, k)) continue;
        Sounding& s = sounding[row];
        if (s.note >= 0) {
            float peak = s.peak;
            float dip = std::numeric_limits<float>::infinity();
            int ended = -1;
            for (int j = s.frame; j <= k && ended < 0; ++j) {
                const float v = level(j, row);
                if (v > peak) {
                    peak = v;
                    dip = std::numeric_limits<float>::infinity();
                }
                dip = std::min(dip, v);
                if (v < releaseShare * peak) ended = j;
            }
            RefinedNote& previous = notes[static_cast<std::size_t>(s.note)];
            previous.peakLevel = std::max(previous.peakLevel, peak);
            if (ended >= 0) {
                previous.offset = history.times[static_cast<std::size_t>(ended)];
            } else if (dip <= restrikeDip * peak ||
                       rise[static_cast<std::size_t>(k)][row] >= restrikeRise * level(k, row)) {
                previous.offset = attack.onset;
            } else {
                s.peak = peak;  // the note goes on
                s.frame = k;
                continue;
            }
        }
        RefinedNote note = attack;
        note.peakLevel = level(k, row);
        s = {static_cast<int>(notes.size()), k, note.peakLevel};
        notes.push_back(note);
    }

    for (int row = 0; row < rowCount; ++row) {
        const Sounding& s = sounding[row];
        if (s.note < 0) continue;
        RefinedNote& note = notes[static_cast<std::size_t>(s.note)];
        float peak = s.peak;
        const int released = releaseFrame(row, last, peak);
        note.offset = history.times[static_cast<std::size_t>(released >= 0 ? released : last)];
        note.peakLevel = std::max(note.peakLevel, peak);
    }
    // A note always ends after it starts.
    for (RefinedNote& note : notes) note.offset = std::max(note.offset, note.onset + 0.001);
    return notes;
}

}  // namespace

std::vector<RefinedNote> refineNotes(const LevelHistory& history,
                                     const std::array<int, rowCount>& windowLength) {
    if (history.levels.size() < 3 || history.times.size() != history.levels.size()) return {};
    std::array<int, rowCount> span{};
    for (int r = 0; r < rowCount; ++r)
        span[r] = std::max(1, static_cast<int>(std::lround(windowLength[r] / ringRate / framePeriod)));

    const std::vector<RowLevels> rise = risesOf(history, span);
    const std::vector<Candidate> candidates = candidatesOf(history, rise, span);
    const int n = static_cast<int>(rise.size());

    std::vector<RefinedNote> attacks;
    for (std::size_t i = 0; i < candidates.size();) {
        // One onset: candidates chained at most onsetFrames apart.
        std::size_t end = i + 1;
        while (end < candidates.size() && candidates[end].frame - candidates[end - 1].frame <= onsetFrames) ++end;
        const int first = candidates[i].frame;
        const int lastFrame = candidates[end - 1].frame;
        RowLevels rises{};
        for (std::size_t c = i; c < end; ++c)
            rises[candidates[c].row] = std::max(rises[candidates[c].row], rise[candidates[c].frame][candidates[c].row]);
        for (int r = 0; r < rowCount; ++r) {
            float largest = 0.0f;
            for (int k = std::max(0, first - 1); k <= std::min(n - 1, lastFrame + 1); ++k)
                largest = std::max(largest, rise[k][r]);
            rises[r] = std::max(rises[r], largest - riseFloor);
        }
        for (const int row : pitchesOf(rises)) {
            RefinedNote note;
            note.onset = onsetTime(history, rise, first, timingRow(rises, row));
            note.note = row + lowestNote;
            attacks.push_back(note);
        }
        i = end;
    }

    std::stable_sort(attacks.begin(), attacks.end(),
                     [](const RefinedNote& a, const RefinedNote& b) { return a.onset < b.onset; });
    std::vector<RefinedNote> distinct;
    std::array<double, rowCount> lastOnset;
    lastOnset.fill(-1e9);
    for (const RefinedNote& attack : attacks) {
        double& last = lastOnset[attack.note - lowestNote];
        if (attack.onset - last < sameAttack) continue;
        last = attack.onset;
        distinct.push_back(attack);
    }
    return trackLengths(history, rise, distinct);
}

}  // namespace korvane::converter
