// Playback state: which track sounds and how it repeats, with the flags it
// shares with the output thread (output_flags.h). Main thread only.
#pragma once

#include <string>

#include "effects/chain/output_flags.h"

namespace korvane {

extern int currentIndex;                  // playlist index of the current track
extern int savedPlaying;                 // `playing` around a command; the playlist panel may set it
extern int paused;                        // 1 while pausePlayback holds the track (stopped is 1 too)
extern int redrawRequested;               // the main loop redraws the main panel
extern int startBusy;                     // 1 while startTrack runs
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

// The playback state above, the playlist and the playlist panel as the
// program starts. The flags shared with the output thread are the effect
// chain's (resetEffectChain).
void resetPlayback();

}  // namespace korvane
