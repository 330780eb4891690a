// The playlist: at most 401 file paths with their labels, and the operations
// that add and remove entries and keep the list from becoming empty.
// Main thread only.
#pragma once

#include <array>
#include <string>

namespace korvane {

constexpr int maxLastIndex = 400;
constexpr int playlistCapacity = maxLastIndex + 1;

extern std::array<std::string, playlistCapacity> playlistEntries;
extern std::array<std::string, playlistCapacity> playlistLabels;
extern int lastIndex;          // -1 when the list is empty
extern int scanIndex;          // duplicate scan position, -1 outside a scan
extern std::string lastFolder; // where the next file dialog opens; ends in "/"
extern int nameStyle;          // 0 labels, 1 number and file name only

// (index + 1) "." and the last 55 characters of the entry.
std::string playlistLabel(int index, const std::string& entry);

void addFile();
void removeEntryAt();
void removeAndPlayNext();
void ensureNotEmpty();
void addThenEnsure();

}  // namespace korvane
