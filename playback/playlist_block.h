// The list lines shared by korvane.ini and ".mp3list" files: one path per
// line, optionally ended by a line reading exactly "finlist".
// Main thread only.
#pragma once

#include <string>

#include "app/text/text_file.h"

namespace korvane {

// Replaces the whole playlist with the lines up to a line exactly "finlist"
// (consumed) or the end. Each line is trimmed of blanks (spaces only; tabs
// stay); lines left empty are skipped. Past 401 entries every further line
// overwrites entry 400. Sets lastIndex (-1 when no entry was read).
void readPlaylistBlock(TextLines& lines);

// Entries 0..lastIndex as lines ended by CR LF, empty entries skipped. An
// entry reading "finlist" is written as " finlist" so the reader does not take
// it for the end marker (it trims the blank off again). No end marker.
std::string playlistBlockText();

}  // namespace korvane
