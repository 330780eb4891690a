// Playback state: which track sounds, and the flags shared with the master
// callback. The std::atomic values are shared with the output thread; the
// rest is main-thread only.
#pragma once

#include <atomic>
#include <string>

namespace korvane {

extern int currentIndex;                  // playlist index of the current track
extern std::atomic<int> playing;          // 1: the end of a track may advance the playlist
extern std::atomic<int> stopped;          // 1 after stopPlayback, or the end in mode 5
extern int paused;                        // 1 while pausePlayback holds the track (stopped is 1 too)
extern std::atomic<int> trackEnded;       // set by the callback, cleared by whoever services it
extern int redrawRequested;               // the main loop redraws the main panel
extern int startBusy;                     // 1 while startTrack runs
extern std::atomic<double> lastSoundTime; // clock of the last output with sound, seconds
extern double startTime;                  // clock at the last track start
extern double elapsed;                    // clock - startTime while not stopped
extern std::string trackPath;
extern std::string trackTitle;            // (currentIndex + 1) "." last 38 characters of the path
extern std::string shortName;             // last 25 characters without the 4-character extension
extern std::string lengthText;            // m:ss
extern float trackLength;                 // seconds; 1.0 when the length query gave 0
extern float bitRate;                     // bits per second
extern int repeatMode;                    // 0..5
extern int repeatFrom;                    // repeat range, playlist indices
extern int repeatTo;

}  // namespace korvane
