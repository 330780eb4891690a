#include "playback/playlist_block.h"

#include "playback/playlist.h"

namespace korvane {

namespace {
constexpr const char* endMarker = "finlist";
}

void readPlaylistBlock(TextLines& lines) {
    emptyPlaylist();
    int counter = -1;
    while (!lines.atEnd()) {
        const std::string line = lines.next();
        if (line == endMarker) break;
        std::string entry = trimBlanks(line);
        if (entry.empty()) continue;
        if (counter < maxLastIndex) ++counter;
        playlistLabels[counter] = playlistLabel(counter, entry);
        playlistEntries[counter] = std::move(entry);
    }
    lastIndex = counter;
}

std::string playlistBlockText() {
    std::string out;
    for (int i = 0; i <= lastIndex && i < playlistCapacity; ++i) {
        const std::string& entry = playlistEntries[i];
        if (entry.empty()) continue;
        appendLine(out, entry == endMarker ? " " + entry : entry);
    }
    return out;
}

}  // namespace korvane
