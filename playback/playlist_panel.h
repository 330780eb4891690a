// The playlist panel (500 x 400): rows, scroll bar, wheel, keys and buttons.
// Main thread only; the caller opens the window and restores the main one.
#pragma once

namespace korvane {

extern int listTop;
extern int previousTop;
extern int panelRedraw;
extern int leavePanel;

void drawPlaylistRows(bool recentre);
void drawPlaylistChrome();
void playlistPanel();

}  // namespace korvane
