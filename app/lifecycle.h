// The program's entry and exit: start-up and shutdown.
// Main thread only.
#pragma once

namespace korvane {

// Start-up, the main loop, shutdown. The process's exit code.
int runKorvane();

}  // namespace korvane
