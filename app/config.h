// korvane.ini: the settings and the playlist kept between runs, one value per
// line in a fixed order, in the current folder. Main thread only.
#pragma once

#include <string>

#include "app/text/text_file.h"

namespace korvane {

constexpr const char* configFileName = "korvane.ini";

extern int windowLeft;  // screen position of the main window, pixels
extern int windowTop;

// The window position as the program starts.
void resetWindowPosition();

// Every setting from the file's lines; a line past the end of the file takes
// its default, so a missing file gives all defaults. Values that later index
// tables or feed divisions are limited as they are read; the window position
// and the effect presets are limited by start-up.
void readConfiguration();
void readConfigurationFrom(TextLines& lines);

// The file's text, each line ended by CR LF.
std::string configurationText();
// Replaces korvane.ini; false when it could not be written (the old file
// then stays as it was).
bool writeConfiguration();

// At least 1, then at most the desktop size less the main window's.
void limitWindowPosition(int desktopWidth, int desktopHeight);

}  // namespace korvane
