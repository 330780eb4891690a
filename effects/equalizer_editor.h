// The equalizer editor: the main window becomes a frequency / gain chart on
// which the left mouse button drags the nearer band edge and its gain and
// the right button sets the mid gain; O changes the order, S and L save and
// load an ".equ" file, any other key closes it. Playback goes on and the end
// of a track is serviced while it is open. Main thread only.
#pragma once

namespace korvane {

// The pointer position last applied, kept across editor sessions.
extern int lastEditX;
extern int lastEditY;

// The effect panels' state as the program starts: the position above (the
// reverb panels keep none).
void resetEqualizerEditor();

// Clears the window and draws the chart, the response curve and the figures
// from the current settings.
void drawEqualizerPanel();

// Runs until a key other than O, S or L; that key is consumed (a close
// request stays queued for the main loop).
void equalizerEditor();

}  // namespace korvane
