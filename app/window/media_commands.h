// Commands from the desktop's media controls (media keys, a panel's player
// applet), queued by the thread that receives them and taken by the main
// thread through the platform, as keys are. Each command gets a serial
// number, so that the receiving side can tell when the main thread has run it.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

namespace korvane {

enum class MediaAction { None, Play, Pause, PlayPause, Stop, Next, Previous, Raise, Quit, SetVolume };

struct MediaCommand {
    MediaAction action = MediaAction::None;
    double value = 0.0;  // SetVolume: the level, 0..1 of the slider's range
    std::uint64_t serial = 0;  // from 1 up, in the order pushed
};

// Thread-safe: any thread pushes, the main thread takes.
class MediaCommandQueue {
public:
    // Queues the command and returns its serial number.
    std::uint64_t push(MediaAction action, double value = 0.0);
    // The oldest waiting command; action None (serial 0) when none waits.
    MediaCommand take();
    bool empty() const;

private:
    mutable std::mutex lock_;
    std::deque<MediaCommand> waiting_;
    std::uint64_t lastSerial_ = 0;
};

// What runs the waiting commands on the main thread: the program installs
// it at start-up, and every loop that waits calls runMediaCommands, so the
// panels need not know who answers the desktop. It returns true when a
// command changed what plays.
using MediaCommandRunner = bool (*)();
void installMediaCommandRunner(MediaCommandRunner runner);
// Runs the waiting commands; false (nothing run) without a runner.
bool runMediaCommands();

}  // namespace korvane
