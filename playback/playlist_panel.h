// The playlist panel (500 x 400): 38 rows of entries, a scroll bar, the
// wheel, keys and the buttons "clear", "save", "load", "add" and "remove".
// Main thread only; the caller opens the window and restores the main one.
#pragma once

namespace korvane {

constexpr int playlistRows = 38;

extern int listTop;      // index shown on the first row, never below 0
extern int previousTop;  // listTop at the last full redraw
extern int panelRedraw;  // set by button actions: redraw the rows, recentred
extern int leavePanel;   // a row was clicked: close the panel after this pass

// The values above as the program starts.
void resetPlaylistPanel();

// Clears the window and draws the rows; with recentre, listTop first moves
// so that the current entry shows.
void drawPlaylistRows(bool recentre);
// The button bar, the name-style label and the scroll bar; handles a
// pending click on a row or the scroll bar.
void drawPlaylistChrome();
// Runs the panel until Space, Escape, Enter, the close request, "p", a
// right click or a click on a row.
void playlistPanel();

}  // namespace korvane
