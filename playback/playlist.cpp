#include "playback/playlist.h"

#include <string>

namespace korvane {

std::array<std::string, playlistCapacity> playlistEntries;
std::array<std::string, playlistCapacity> playlistLabels;
int lastIndex = -1;
int scanIndex = -1;
std::string lastFolder;
int nameStyle = 0;

std::string playlistLabel(int index, const std::string& entry) {
    constexpr std::size_t labelTail = 55;
    const std::size_t start = entry.size() > labelTail ? entry.size() - labelTail : 0;
    return std::to_string(index + 1) + "." + entry.substr(start);
}

}  // namespace korvane
