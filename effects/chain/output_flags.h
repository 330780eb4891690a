// The flags playback shares with the output thread: whether the end of a
// track may advance the playlist, whether playback is stopped, the end of a
// track as the master callback sees it, and when the output last had sound.
#pragma once

#include <atomic>

namespace korvane {

extern std::atomic<int> playing;          // 1: the end of a track may advance the playlist
extern std::atomic<int> stopped;          // 1 after stopPlayback, or the end in mode 5
extern std::atomic<int> trackEnded;       // set by the callback, cleared by whoever services it
extern std::atomic<double> lastSoundTime; // clock of the last output with sound, seconds

// Main thread: the flags as the program starts.
void resetOutputFlags();

}  // namespace korvane
