// The program's entry and exit: start-up and shutdown.
// Main thread only.
#pragma once

namespace korvane {

// Start-up, the main loop, shutdown. The process's exit code.
int runKorvane();

// Every subsystem's state as the program starts, before the engine does:
// runKorvane begins with it, so that a start after an earlier run in the
// same process begins as the first did.
void resetKorvane();

}  // namespace korvane
