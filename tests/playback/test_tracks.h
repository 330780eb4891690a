// The tests' generated MP3 tracks, and a playlist of them started as the
// player starts its first track.
#pragma once

#include <initializer_list>
#include <string>

#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"

namespace korvane {

// A generated MP3 file of the tests' audio set.
inline std::string testTrack(const std::string& name) {
    return std::string(KORVANE_TEST_AUDIO_DIR) + "/" + name + ".mp3";
}

// The playlist of these tracks, repeating all, its first track started and
// playing.
inline void playTestTracks(std::initializer_list<const char*> names) {
    emptyPlaylist();
    for (const char* name : names) {
        ++lastIndex;
        playlistEntries[lastIndex] = testTrack(name);
        playlistLabels[lastIndex] = playlistLabel(lastIndex, playlistEntries[lastIndex]);
    }
    currentIndex = 0;
    repeatMode = 0;
    startTrack();
    playing = 1;
}

}  // namespace korvane
