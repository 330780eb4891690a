// The toMidi panel: while it runs, the played audio is silenced and turned
// into MIDI on the chosen output, frame by frame. Its keys change the
// analysis, the velocity scale, the output and the playback; it shows a
// header of figures, a bar chart of the note levels, and plots of the
// kernel and the harmonic weights. Main thread only.
#pragma once

namespace korvane {

struct ToMidiPanel {
    bool testMode = false;        // full redraw every 0.15 s instead of every 7 s
    bool testLabelShown = false;  // after the first [T]
    double keyTime = 0.0;         // when the keyboard was last read
    double redrawTime = 0.0;      // when the chart was last drawn in full
    double figuresTime = 0.0;     // when the tuning figures were last drawn
};
extern ToMidiPanel toMidiPanel;

// toMidi as the program starts: its settings, the measurement and tuning
// (the tables stay until buildNoteTables builds them again), the note
// tracking and its queues, the MIDI output's device number and note flags
// (an open output stays open), the frame clock and this panel.
void resetToMidi();

// Runs until a key the panel does not handle, which is left in keyText for
// the main loop to discard. All notes are off when it returns.
void runToMidi();

void drawPanelHeader();
// The kernel's sine half against a plain sine, over one period.
void drawKernelView();
// The harmonic weights of every other row.
void drawHarmonicView();

}  // namespace korvane
