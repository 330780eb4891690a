// The media commands, run on the main thread as the main panel's buttons
// run theirs.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "app/mpris/mpris.h"
#include "app/window/platform.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/track_control.h"

namespace korvane::mpris {

namespace {

bool quitting = false;
std::atomic<std::uint64_t> lastRun{0};

bool isStopped() { return stopped.load(std::memory_order_relaxed) != 0; }

// A track that starts plays on: as the ">>" button, playing ends at 1, and
// so does the flag a command of the main loop restores when it returns.
void startPlaying(void (*start)()) {
    playing = 0;
    start();
    playing = 1;
    savedPlaying = 1;
}

void play() {
    if (!isStopped()) return;
    startPlaying(resumePlayback);
}

void stop() {
    if (isStopped() && paused == 0) return;
    stopPlayback();
    savedPlaying = 0;
}

}  // namespace

void runMediaCommand(const MediaCommand& command) {
    switch (command.action) {
    case MediaAction::Play: play(); break;
    case MediaAction::Pause: pausePlayback(); break;
    case MediaAction::PlayPause:
        if (isStopped())
            play();
        else
            pausePlayback();
        break;
    case MediaAction::Stop: stop(); break;
    case MediaAction::Next: startPlaying(nextTrack); break;
    case MediaAction::Previous: startPlaying(previousTrack); break;
    case MediaAction::Raise: platform().raiseWindow(); break;
    case MediaAction::Quit:
        // Escape closes whatever panel or prompt is open; the main loop
        // then ends as Escape ends it, and the settings are saved.
        quitting = true;
        platform().returnKey(key::Escape);
        break;
    case MediaAction::SetVolume:
        if (std::isfinite(command.value)) {
            volume = static_cast<float>(std::clamp(command.value, lowestVolume, 1.0) * fullVolume);
            redrawRequested = 1;
        }
        break;
    case MediaAction::None: break;
    }
}

bool serviceMediaCommands() {
    bool changed = false;
    for (MediaCommand command = platform().readMediaCommand(); command.action != MediaAction::None;
         command = platform().readMediaCommand()) {
        runMediaCommand(command);
        changed = changed || (command.action != MediaAction::Raise && command.action != MediaAction::Quit &&
                              command.action != MediaAction::SetVolume);
        publishPlayerState();
        lastRun.store(command.serial, std::memory_order_release);
    }
    publishPlayerState();
    return changed;
}

bool quitRequested() { return quitting; }

void clearQuitRequest() { quitting = false; }

std::uint64_t lastCommandRun() { return lastRun.load(std::memory_order_acquire); }

}  // namespace korvane::mpris
