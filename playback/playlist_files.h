// Saving the playlist to a ".mp3list" file and replacing it from one.
// Main thread only.
#pragma once

namespace korvane {

void savePlaylistFile();
void loadPlaylistFile();

}  // namespace korvane
