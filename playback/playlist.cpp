#include "playback/playlist.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/input/dialogs.h"
#include "app/input/error_exit.h"
#include "app/text/start_values.h"
#include "app/text/text_file.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "playback/playback_state.h"
#include "playback/track_control.h"

namespace korvane {

std::array<std::string, playlistCapacity> playlistEntries;
std::array<std::string, playlistCapacity> playlistLabels;
int lastIndex = -1;
int scanIndex = -1;
std::string lastFolder;
int nameStyle = 0;

namespace {

const StartValues initial(playlistEntries, playlistLabels, lastIndex, scanIndex, lastFolder, nameStyle);

void setPlaying(int value) { playing.store(value, std::memory_order_relaxed); }

void limitIndexes() {
    currentIndex = limitToList(currentIndex);
    repeatFrom = limitToList(repeatFrom);
    repeatTo = limitToList(repeatTo);
}


// A path inside the working folder is kept relative to it.
std::string relativeToWorkingFolder(const std::string& name, const std::string& folder) {
    return name.compare(0, folder.size(), folder) == 0 ? name.substr(folder.size()) : name;
}

// Removes the entry at index (0 .. lastIndex), renumbering the labels behind it.
void eraseEntry(int index) {
    if (index < 0 || index > lastIndex) return;
    for (int i = index; i < lastIndex; ++i) {
        playlistEntries[i] = std::move(playlistEntries[i + 1]);
        playlistLabels[i] = playlistLabel(i, playlistEntries[i]);
    }
    playlistEntries[lastIndex].clear();
    playlistLabels[lastIndex].clear();
    --lastIndex;
}

// Asks for files until the list has one; ends the program when none is given.
void askUntilNotEmpty() {
    if (lastIndex >= 0) return;
    screen::clear();
    stopPlayback();
    addFile();
    if (lastIndex >= 0) return;
    showNotice("no mp3file selected !", "notice");
    addFile();
    if (lastIndex >= 0) return;
    if (askYesNo("want to exit ?", "korvane") == "yes") errorExit();
    addFile();
    if (lastIndex < 0) errorExit();
}

}  // namespace

std::string playlistLabel(int index, const std::string& entry) {
    constexpr std::size_t labelTail = 55;
    const std::size_t start = entry.size() > labelTail ? entry.size() - labelTail : 0;
    return std::to_string(index + 1) + "." + entry.substr(start);
}

int limitToList(int index) { return std::max(0, std::min(lastIndex, index)); }

void eraseCurrentEntry() {
    if (lastIndex < 0) return;
    currentIndex = limitToList(currentIndex);
    if (currentIndex < repeatFrom) --repeatFrom;
    if (currentIndex <= repeatTo) --repeatTo;
    const bool wasLast = currentIndex == lastIndex;
    eraseEntry(currentIndex);
    if (wasLast) currentIndex = lastIndex;
    repeatFrom = limitToList(repeatFrom);
    repeatTo = limitToList(repeatTo);
}

void resetPlaylist() { initial.restore(); }

void emptyPlaylist() {
    for (int i = 0; i < playlistCapacity; ++i) {
        playlistEntries[i].clear();
        playlistLabels[i].clear();
    }
    lastIndex = -1;
}

void addFile() {
    if (lastIndex >= maxLastIndex) {
        showNotice("max " + std::to_string(maxLastIndex) + " files !", "notice");
        return;
    }
    const int rememberedPlaying = playing.load(std::memory_order_relaxed);
    setPlaying(0);
    std::error_code error;
    const std::filesystem::path working = std::filesystem::current_path(error);
    std::string name = chooseFile("add mp3file", lastFolder + "*.mp3");
    if (!working.empty()) std::filesystem::current_path(working, error);
    name = relativeToWorkingFolder(trimBlanks(name), workingFolder());

    if (name.empty()) {
        setPlaying(rememberedPlaying);
        return;
    }
    if (!endsWithIgnoringCase(name, ".mp3")) {
        showNotice("bad name " + name, "notice");
        setPlaying(rememberedPlaying);
        return;
    }
    if (!std::filesystem::exists(name, error)) {
        showNotice("not found :" + name, "notice");
        setPlaying(rememberedPlaying);
        return;
    }

    ++lastIndex;
    if (lastIndex <= 0) {
        lastIndex = 0;
        currentIndex = 0;
        playlistEntries[0] = name;
        playlistLabels[0] = playlistLabel(0, name);
    } else {
        currentIndex = std::max(0, std::min(currentIndex, lastIndex - 1));
        for (int k = lastIndex; k > currentIndex; --k) {
            playlistEntries[k] = std::move(playlistEntries[k - 1]);
            playlistLabels[k] = playlistLabel(k, playlistEntries[k]);
        }
        playlistEntries[currentIndex] = name;
        playlistLabels[currentIndex] = playlistLabel(currentIndex, name);
        if (currentIndex <= repeatFrom) ++repeatFrom;
        if (currentIndex <= repeatTo) ++repeatTo;

        // A removal steps scanIndex back, so the entry moved into its place
        // is examined next; the rank shown counts the passes from 0.
        const int scanEnd = lastIndex;
        scanIndex = -1;
        for (int k = 0; k <= scanEnd; ++k) {
            ++scanIndex;
            if (scanIndex > lastIndex) break;
            if (scanIndex != currentIndex && playlistEntries[scanIndex] == playlistEntries[currentIndex] &&
                askYesNo("yet in playlist : rank=" + std::to_string(k) + "\nremove ?", "add playlist") ==
                    "yes")
                removeEntryAt();
        }
        scanIndex = -1;
    }
    lastFolder = folderOfChosen(name);
    if (startBusy == 0) startTrack();
    setPlaying(1);
    redrawRequested = 1;
    repeatFrom = limitToList(repeatFrom);
    repeatTo = limitToList(repeatTo);
}

void removeEntryAt() {
    const int r = scanIndex;
    if (r >= 0 && r <= lastIndex && r != currentIndex) {
        const int rememberedPlaying = playing.load(std::memory_order_relaxed);
        setPlaying(0);
        if (r < currentIndex) --currentIndex;
        if (r < repeatFrom) --repeatFrom;
        if (r <= repeatTo) --repeatTo;
        eraseEntry(r);
        --scanIndex;
        setPlaying(rememberedPlaying);
    }
    limitIndexes();
}

void removeAndPlayNext() {
    if (lastIndex < 0) return;
    setPlaying(0);
    eraseCurrentEntry();
    if (lastIndex < 0) {
        askUntilNotEmpty();
    } else {
        startTrack();
        platform().sleepMs(100);
    }
    setPlaying(1);
    redrawRequested = 1;
    scanIndex = -1;
    limitIndexes();
}

void ensureNotEmpty() {
    askUntilNotEmpty();
    setPlaying(1);
    redrawRequested = 1;
    limitIndexes();
}

void addThenEnsure() {
    addFile();
    ensureNotEmpty();
}

}  // namespace korvane
