#include "tools/converter/analysis/threaded_analysis.h"

namespace korvane::converter {

ThreadedAnalysis::ThreadedAnalysis() : worker_([this] { work(); }) { filling_.reserve(blockFrames); }

ThreadedAnalysis::~ThreadedAnalysis() {
    if (worker_.joinable()) finish();
}

void ThreadedAnalysis::push(const SpectrumFrame& frame) {
    filling_.push_back(frame);
    if (filling_.size() == blockFrames) hand(false);
}

std::vector<RefinedNote> ThreadedAnalysis::finish() {
    if (worker_.joinable()) {
        hand(true);
        worker_.join();
    }
    return notes_;
}

// Queues the frames gathered so far, waiting for room.
void ThreadedAnalysis::hand(bool last) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return queue_.size() < queuedBlocks; });
    queue_.push_back(std::move(filling_));
    filling_.clear();
    filling_.reserve(blockFrames);
    ended_ = last;
    changed_.notify_all();
}

void ThreadedAnalysis::work() {
    for (;;) {
        std::vector<SpectrumFrame> block;
        bool last = false;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return !queue_.empty(); });
            block = std::move(queue_.front());
            queue_.pop_front();
            last = ended_ && queue_.empty();
            changed_.notify_all();
        }
        for (const SpectrumFrame& frame : block) analysis_.push(frame);
        if (last) break;
    }
    notes_ = analysis_.finish();
}

}  // namespace korvane::converter
