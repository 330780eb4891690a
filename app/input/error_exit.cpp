#include "app/input/error_exit.h"

#include <cstdlib>

#include "app/window/platform.h"
#include "engine/fbs.h"

namespace korvane {

namespace {

void (*stopFirst)() = nullptr;

}  // namespace

void setErrorExitStop(void (*stop)()) { stopFirst = stop; }

void errorExit() {
    if (stopFirst != nullptr) stopFirst();
    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    platform().closeWindow();
    // The engine's pause between ending the output and releasing it.
    platform().sleepMs(100);
    FBS_EXIT();
    std::exit(0);
}

}  // namespace korvane
