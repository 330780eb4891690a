#include "playback/playback_state.h"

#include "app/text/start_values.h"
#include "playback/playlist.h"
#include "playback/playlist_panel.h"

namespace korvane {

int currentIndex = 0;
int savedPlaying = 0;
int paused = 0;
int redrawRequested = 0;
int startBusy = 0;
double startTime = 0.0;
double elapsed = 0.0;
std::string trackPath;
std::string trackTitle;
std::string shortName;
std::string lengthText;
float trackLength = 1.0f;
float bitRate = 0.0f;
int repeatMode = 0;
int repeatFrom = 0;
int repeatTo = 0;

namespace {

const StartValues initial(currentIndex, savedPlaying, paused, redrawRequested, startBusy, startTime, elapsed,
                          trackPath, trackTitle, shortName, lengthText, trackLength, bitRate, repeatMode,
                          repeatFrom, repeatTo);

}  // namespace

void resetPlayback() {
    initial.restore();
    resetPlaylist();
    resetPlaylistPanel();
}

}  // namespace korvane
