// Track playback control: starting, moving between, stopping and resuming
// tracks, and what follows the end of a track. Main thread only.
#pragma once

#include <string>

namespace korvane {

// Seconds of grace given to a starting track: no end is reported before
// this plus the callback's two seconds of silence have passed.
constexpr double startGrace = 10.0;

void startTrack();
void queryTrackLength();
void nextTrack();
void previousTrack();
void advanceAfterEnd();
void serviceTrackEnd();
void stopPlayback();
// Holds the track where it is: the stream keeps its place, the clock stands
// still and the fourth button reads "play", as after stopPlayback. Does
// nothing when no track sounds.
void pausePlayback();
// After pausePlayback: the held track goes on from where it stood.
// Otherwise: the current track from its beginning.
void resumePlayback();
void removeCurrentEntry();
void clearPlaylist();

// Reads and drops every key already waiting.
void discardWaitingKeys();

// The length as minutes ":" seconds, the seconds rounded to the nearest
// (so 119.6 s gives "1:60").
std::string formatTrackLength(float seconds);

}  // namespace korvane
