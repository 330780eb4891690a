#include "app/window/media_commands.h"

namespace korvane {

std::uint64_t MediaCommandQueue::push(MediaAction action, double value) {
    std::lock_guard<std::mutex> guard(lock_);
    waiting_.push_back({action, value, ++lastSerial_});
    return lastSerial_;
}

MediaCommand MediaCommandQueue::take() {
    std::lock_guard<std::mutex> guard(lock_);
    if (waiting_.empty()) return {};
    const MediaCommand command = waiting_.front();
    waiting_.pop_front();
    return command;
}

namespace {
MediaCommandRunner installedRunner = nullptr;
}

void installMediaCommandRunner(MediaCommandRunner runner) { installedRunner = runner; }

bool runMediaCommands() { return installedRunner != nullptr && installedRunner(); }

bool MediaCommandQueue::empty() const {
    std::lock_guard<std::mutex> guard(lock_);
    return waiting_.empty();
}

}  // namespace korvane
