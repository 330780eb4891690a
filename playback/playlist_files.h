// Saving the playlist to a ".mp3list" file and replacing it from one: the
// actions of the playlist panel's "save" and "load" buttons. Main thread only.
#pragma once

namespace korvane {

void savePlaylistFile();
void loadPlaylistFile();

}  // namespace korvane
