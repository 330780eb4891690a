#include "playback/playlist_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "app/input/dialogs.h"
#include "app/text/text_file.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/playlist_block.h"
#include "playback/playlist_panel.h"
#include "playback/track_control.h"

namespace korvane {

namespace {

constexpr const char* extension = ".mp3list";

void setPlaying(int value) { playing.store(value, std::memory_order_relaxed); }

// Asks for a playlist file name with playing cleared; nothing when the
// dialog was cancelled or the name is bad.
std::optional<std::string> choosePlaylistName(const std::string& title) {
    setPlaying(0);
    const std::string name = chooseFileWithExtension(title, lastFolder + "*" + extension, extension);
    if (name.empty()) return std::nullopt;
    return name;
}

}  // namespace

void savePlaylistFile() {
    const int rememberedPlaying = playing.load(std::memory_order_relaxed);
    const std::optional<std::string> name = choosePlaylistName("save playlist");
    if (!name) return;
    if (askYesNo("save in " + *name + " ?", "save playlist") == "yes") {
        if (writeTextFile(*name, playlistBlockText())) {
            showNotice("playlist saved as " + *name, "notice");
            lastFolder = folderOfChosen(*name);
        } else {
            showNotice("cannot write " + *name, "notice");
        }
    }
    setPlaying(rememberedPlaying);
}

void loadPlaylistFile() {
    const std::optional<std::string> name = choosePlaylistName("load playlist");
    if (!name) return;
    std::error_code error;
    if (!std::filesystem::exists(*name, error)) {
        showNotice("not found :" + *name, "notice");
        return;
    }
    // Read before anything changes: a file that cannot be read leaves the list.
    std::string content;
    if (!readTextFile(*name, content)) {
        showNotice("cannot read " + *name, "notice");
        return;
    }
    if (askYesNo("load " + *name + " ?", "load playlist") == "yes") {
        TextLines lines(std::move(content));
        readPlaylistBlock(lines);
        lastFolder = folderOfChosen(*name);
        repeatMode = 0;
        currentIndex = 0;
    }
    // With an empty list startTrack asks for files instead.
    startTrack();
    setPlaying(1);
    redrawRequested = 1;
    panelRedraw = 1;
}

}  // namespace korvane
