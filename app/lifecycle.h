// The program's entry and exit: start-up, shutdown and errorExit.
// Main thread only.
#pragma once

namespace korvane {

// Start-up, the main loop, shutdown. The process's exit code.
int runKorvane();
// Ends the program at once: no configuration written, MIDI left open.
[[noreturn]] void errorExit();

}  // namespace korvane
