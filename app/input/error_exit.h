// Ending the program at once, from wherever a fault leaves no way on: no
// configuration written, MIDI left open. Main thread only.
#pragma once

namespace korvane {

// What the program's top stops before the engine and the window close (the
// media bus, the playlist's advance); set once at start-up.
void setErrorExitStop(void (*stop)());
[[noreturn]] void errorExit();

}  // namespace korvane
