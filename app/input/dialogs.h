// Talking to the user outside the window: notices, yes/no questions, the
// file chooser, and the message of a failed start. All block until answered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/window/platform.h"

namespace korvane {

// An OK box; then a 200 ms pause.
void showNotice(const std::string& text, const std::string& title);
// An OK/Cancel box: "yes" for OK, "no" for anything else; then a 200 ms pause.
std::string askYesNo(const std::string& text, const std::string& title);
// Prints the text on the current text line, discards a waiting key, then
// waits for a key (polling every 100 ms) and consumes it.
void showMessageAndWait(const std::string& text, const std::string& title);

// The n-th field (counted from 1) of text split at separator; empty for n 0.
std::string fieldOf(std::string_view text, unsigned n, char separator);

// The filter list of a spec's pattern part ("*.a;*.b,Bees"): one pair per
// item and "All  (*.*)" last. False when it would not fit the 200-character
// list (every character of it, its zero separators and final zero counted).
bool buildFilterList(std::string_view patternPart, std::vector<FileFilter>& filters);

// The working folder, ending in "/"; empty when it cannot be read.
std::string workingFolder();
// The folder the next dialog opens in after choosing name: name up to and
// including its last "/", or the working folder and "/" when it has none.
std::string folderOfChosen(const std::string& name);

// Open or save dialog for spec = folder + patterns ("save/*.equ"): a save
// dialog when the title contains "save". The chosen path, or "" when
// cancelled, refused, or longer than the 260-character limit (refused with
// a notice, never cut).
std::string chooseFile(const std::string& title, const std::string& spec);

// The name of a playlist or preset file: chooseFile (the working folder kept
// as it was, whatever the dialog does to it), blanks trimmed, the extension
// (".equ") appended when the file part of the name has no "." at all. A name
// that then does not end in the extension (letters in any case) is refused
// with the notice "bad name " + name. "" when cancelled or refused.
std::string chooseFileWithExtension(const std::string& title, const std::string& spec,
                                    const std::string& extension);

}  // namespace korvane
