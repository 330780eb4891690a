// The note analysis on its own thread gives what it gives on the caller's,
// however the two threads' timings fall.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tools/converter/analysis/threaded_analysis.h"

namespace korvane::converter {
namespace {

TEST(ThreadedAnalysis, GivesTheNotesOfTheAnalysisOnTheCallersThread) {
    // Frames of a few loud partials coming and going over a noise floor.
    std::mt19937 random(9);
    std::uniform_real_distribution<float> noise(0.0f, 1.0f);
    std::vector<SpectrumFrame> frames(700);
    for (std::size_t k = 0; k < frames.size(); ++k)
        for (std::size_t b = 0; b < frames[k].size(); ++b)
            frames[k][b] = noise(random) + ((b + 36 * (k / 50)) % 36 == 0 ? 8.0f : 0.0f);

    NoteAnalysis alone;
    for (const SpectrumFrame& frame : frames) alone.push(frame);
    const std::vector<RefinedNote> expected = alone.finish();

    ThreadedAnalysis threaded;
    for (const SpectrumFrame& frame : frames) threaded.push(frame);
    EXPECT_EQ(threaded.finish(), expected);
    // Given up half way, or before the first frame: the thread still ends.
    for (const std::size_t count : {std::size_t{31}, std::size_t{0}}) {
        ThreadedAnalysis abandoned;
        for (std::size_t k = 0; k < count; ++k) abandoned.push(frames[k]);
    }
}

}  // namespace
}  // namespace korvane::converter
