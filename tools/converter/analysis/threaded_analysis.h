// The note analysis on a thread of its own: the caller decodes and measures
// the spectrum while the note model works through the frames already
// measured, so one file's conversion uses two cores. The notes are those
// of NoteAnalysis, whatever the timing of the two threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/converter/analysis/note_analysis.h"

namespace korvane::converter {

class ThreadedAnalysis {
public:
    ThreadedAnalysis();
    ~ThreadedAnalysis();
    ThreadedAnalysis(const ThreadedAnalysis&) = delete;
    ThreadedAnalysis& operator=(const ThreadedAnalysis&) = delete;

    // The spectrum's next frame; waits while the analysis is far behind.
    void push(const SpectrumFrame& frame);
    // The spectrum has ended: the notes, in order of onset.
    std::vector<RefinedNote> finish();

private:
    void work();
    void hand(bool last);

    static constexpr std::size_t blockFrames = 32;
    static constexpr std::size_t queuedBlocks = 16;
    std::vector<SpectrumFrame> filling_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::vector<SpectrumFrame>> queue_;
    bool ended_ = false;
    NoteAnalysis analysis_;
    std::vector<RefinedNote> notes_;
    std::thread worker_;
};

}  // namespace korvane::converter
