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

// index limited to 0 .. lastIndex (0 when the list is empty).
int limitToList(int index);
// Removes the current entry; later entries move down one place with their
// labels renumbered, and the repeat range keeps pointing at the same tracks.
// When the last entry went, the new last one becomes current.
void eraseCurrentEntry();
// Every entry and label empty, lastIndex -1.
void emptyPlaylist();
// The playlist's state as the program starts: empty, no scan, no folder,
// labels shown.
void resetPlaylist();

// Asks for one MP3 file, inserts it before the current entry and starts it.
void addFile();
// Removes the entry at scanIndex unless it is the current one.
void removeEntryAt();
// Removes the current entry and starts the one that takes its place.
void removeAndPlayNext();
// While the list is empty, asks for files; ends the program when none is given.
void ensureNotEmpty();
void addThenEnsure();

}  // namespace korvane
