// korvane: plays the MP3 files of its playlist and turns them into MIDI.
// No command-line arguments; settings and playlist live in korvane.ini in
// the current folder.
#include <cstdio>

#include "app/lifecycle.h"
#include "app/mpris/mpris.h"
#include "app/plugout_folder.h"
#include "app/window/sdl_platform.h"
#include "engine/fbs.h"

int main() {
    korvane::SdlPlatform desk;
    if (!desk.ready()) {
        std::fputs("korvane: the display could not be opened\n", stderr);
        return 1;
    }
    korvane::installPlatform(&desk);
    korvane::usePlugoutFolder(KORVANE_PLUGOUTDIR_FROM_BINDIR);
    // The engine reads keys from the window's queue.
    FBS_SET_KEYREADER([] { return korvane::platform().readKey(); });
    // Media keys and the desktop's player applets reach korvane over the
    // session bus, when there is one.
    korvane::mpris::startMediaBus(desk.mediaCommands());
    const int status = korvane::runKorvane();
    korvane::mpris::stopMediaBus();
    return status;
}
