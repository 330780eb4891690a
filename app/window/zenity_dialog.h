// The desktop's open and save dialog through zenity, started as a child
// process with an argument list (no shell) and read through a pipe.
// Main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/window/platform.h"

namespace korvane {

class ZenityDialog {
public:
    // Looks for zenity on the PATH.
    ZenityDialog();

    bool installed() const { return !program_.empty(); }
    // Shows the dialog and waits for it, calling whileWaiting about every
    // 50 ms. Exit status 0 with a path: Chosen; exit status 1 (Cancel, the
    // dialog closed, or no display): Cancelled; zenity missing or failing
    // otherwise: Unavailable.
    FileDialogResult run(const FileDialogRequest& request, const std::function<void()>& whileWaiting);

private:
    bool acceptsConfirmOverwrite(const std::function<void()>& whileWaiting);

    std::string program_;  // absolute path, empty when not installed
    int confirmOverwrite_ = -1;  // -1 until zenity's help has been read
};

// zenity's arguments for a request, the program's name not included.
std::vector<std::string> zenityArguments(const FileDialogRequest& request, bool confirmOverwrite);

}  // namespace korvane
