// What the user did in the current pass of a loop: the key, the pending
// click and the mouse. The main loop and every panel read and consume it;
// buttons write keyCode too. Main thread only.
#pragma once

#include <string>

namespace korvane {

extern int keyCode;        // key of the current pass; buttons and clicks write it too
extern std::string keyText;  // one character, keyCode mod 256; emptied by the command that ran
extern int clickPending;   // 1: a left click seen and not yet consumed
extern int clickX;         // window position of the pending click; -1 at the start of a pass
extern int clickY;
extern int mouseX;         // last mouse reading; all -1 outside the window
extern int mouseY;
extern int mouseButtons;
extern double auxvar;      // diagnostic value, shown when |auxvar| > 0.00001

// Every value above as the program starts.
void resetInputState();

// The pending click lies in the box, edges included.
bool clickInside(int x1, int y1, int x2, int y2);

}  // namespace korvane
