#include "playback/track_control.h"

#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/input/dialogs.h"
#include "app/input/error_exit.h"
#include "app/input/input_state.h"
#include "app/text/number_text.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_length.h"

namespace korvane {

namespace {

// The last count characters of text, or all of it when shorter.
std::string tail(const std::string& text, std::size_t count) {
    return text.size() > count ? text.substr(text.size() - count) : text;
}

void setPlaying(int value) { playing.store(value, std::memory_order_relaxed); }

}  // namespace

void discardWaitingKeys() {
    while (FBS_GET_KEYCODE() != 0) {
    }
}

std::string formatTrackLength(float seconds) {
    const double length = seconds;
    const double minutes = std::floor(length / 60.0);
    const int wholeSeconds = roundToInt(length - 60.0 * minutes);
    return std::to_string(static_cast<long long>(minutes)) + ":" + (wholeSeconds < 10 ? "0" : "") +
           std::to_string(wholeSeconds);
}

void queryTrackLength() {
    lengthText.assign(30, ' ');
    auxvar = queryLengthService(trackPath, lengthText);
    trackLength = static_cast<float>(parseNumber(lengthText) / 1000.0);
    lengthText = formatTrackLength(trackLength);
    if (trackLength == 0.0f) {
        showNotice("error lngtrk=0 " + trackPath, "notice");
        trackLength = 1.0f;
        return;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(trackPath, error);
    bitRate = error ? 0.0f : static_cast<float>(static_cast<double>(size) * 8.001 / trackLength);
}

void startTrack() {
    if (startBusy == 1) return;
    if (lastIndex < 0) {
        // Nothing to play: ask for files; the first one added starts.
        ensureNotEmpty();
        return;
    }
    const int rememberedPlaying = playing.load(std::memory_order_relaxed);
    startBusy = 1;
    lastSoundTime.store(platform().clock() + startGrace, std::memory_order_relaxed);
    FBS_END_MP3STREAM();
    currentIndex = limitToList(currentIndex);
    trackPath = playlistEntries[currentIndex];
    queryTrackLength();
    trackTitle = std::to_string(currentIndex + 1) + "." + tail(trackPath, 38);
    const std::string lastPart = tail(trackPath, 25);
    shortName = lastPart.substr(0, lastPart.size() > 4 ? lastPart.size() - 4 : 0);

    // A path with a NUL byte names no file; its text before the NUL would
    // open another one.
    const bool nameable = trackPath.find('\0') == std::string::npos;
    if (nameable && FBS_CREATE_MP3STREAM(trackPath.c_str()) != 0) {
        FBS_PLAY_MP3STREAM(1.0f, 0.0f);
    } else {
        showNotice("cant open " + trackPath + " !", "notice");
        if (askYesNo("remove " + trackTitle + " ?", "korvane") == "yes") {
            removeCurrentEntry();
            currentIndex = limitToList(currentIndex - 1);
        } else if (askYesNo("clear all playlist ?", "korvane") == "yes") {
            clearPlaylist();
        } else {
            showNotice("error exit !", "notice");
            errorExit();
        }
    }

    startTime = platform().clock();
    autoVolumeReset();
    paused = 0;
    stopped.store(0, std::memory_order_relaxed);
    resetSpeedStage();
    redrawRequested = 1;
    setPlaying(rememberedPlaying);
    startBusy = 0;
}

void nextTrack() {
    if (lastIndex < 0) return;
    platform().sleepMs(200);
    discardWaitingKeys();
    ++currentIndex;
    if (currentIndex > lastIndex) currentIndex = 0;
    startTrack();
}

void previousTrack() {
    if (lastIndex < 0) return;
    platform().sleepMs(200);
    discardWaitingKeys();
    --currentIndex;
    if (currentIndex < 0) currentIndex = lastIndex;
    startTrack();
}

void advanceAfterEnd() {
    if (playing.load(std::memory_order_relaxed) != 1) return;
    setPlaying(0);
    switch (repeatMode) {
    case 1:
        startTrack();
        break;
    case 3:
        if (currentIndex == repeatTo) {
            currentIndex = limitToList(repeatFrom);
            startTrack();
        } else {
            nextTrack();
        }
        break;
    case 4:
        // The last entry is drawn slightly less often than the others.
        currentIndex = static_cast<int>(std::floor(platform().random() * (lastIndex + 0.99)));
        startTrack();
        break;
    case 5:
        break;
    default:  // 0 repeat all, 2 range start marked
        nextTrack();
        break;
    }
    setPlaying(1);
    if (repeatMode == 5) {
        stopPlayback();
        stopped.store(1, std::memory_order_relaxed);
    }
}

void serviceTrackEnd() {
    if (trackEnded.load(std::memory_order_relaxed) != 1) return;
    advanceAfterEnd();
    trackEnded.store(0, std::memory_order_relaxed);
}

void stopPlayback() {
    setPlaying(0);
    FBS_END_MP3STREAM();
    paused = 0;
    stopped.store(1, std::memory_order_relaxed);
    resetSpeedStage();
    platform().sleepMs(100);
    redrawRequested = 1;
}

void pausePlayback() {
    if (stopped.load(std::memory_order_relaxed) != 0 || FBS_PAUSE_MP3STREAM(1) == 0) return;
    elapsed = platform().clock() - startTime;
    paused = 1;
    stopped.store(1, std::memory_order_relaxed);
    redrawRequested = 1;
}

void resumePlayback() {
    if (paused == 1) {
        paused = 0;
        // The clock goes on from the held time; a stream that is gone
        // meanwhile starts again from its beginning below.
        if (FBS_PAUSE_MP3STREAM(0) == 1) {
            startTime = platform().clock() - elapsed;
            stopped.store(0, std::memory_order_relaxed);
            redrawRequested = 1;
            return;
        }
    }
    setPlaying(0);
    startTrack();
    platform().sleepMs(100);
    setPlaying(1);
    redrawRequested = 1;
}

void removeCurrentEntry() {
    if (lastIndex < 0) return;
    startBusy = 1;
    setPlaying(0);
    eraseCurrentEntry();
    ensureNotEmpty();
}

void clearPlaylist() {
    stopPlayback();
    screen::clear();
    repeatMode = 0;
    emptyPlaylist();
    currentIndex = -1;
    addThenEnsure();
}

}  // namespace korvane
