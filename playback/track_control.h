// Track playback control: starting, moving between, stopping and resuming
// tracks, and what follows the end of a track. Main thread only.
#pragma once

namespace korvane {

void startTrack();
void queryTrackLength();
void nextTrack();
void previousTrack();
void advanceAfterEnd();
void serviceTrackEnd();
void stopPlayback();
void resumePlayback();
void removeCurrentEntry();
void clearPlaylist();

}  // namespace korvane
