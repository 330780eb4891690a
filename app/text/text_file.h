// Text files as the program keeps them: read whole into memory and taken
// line by line (a line ends in LF or CR LF), written whole to a temporary
// file in the same folder and renamed over the old one, so an interrupted or
// failed write never leaves a half file. The temporary file has no name
// until it is complete (where the file system allows), so a writer killed
// meanwhile leaves nothing behind. Main thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

// The whole file; false (and content empty) when it cannot be read.
bool readTextFile(const std::string& path, std::string& content);

// Replaces path with content: false when nothing could be written (errno
// tells why), and the old file (if any) is then left as it was.
bool writeTextFile(const std::string& path, std::string_view content);

// A replacement in two steps, for several files that are replaced together
// or not at all: prepare() writes and syncs the content beside the target
// without touching it, commit() puts it in place. Dropped without a commit,
// it leaves nothing behind.
class FileReplacement {
public:
    FileReplacement() = default;
    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&&) = delete;
    ~FileReplacement();

    // False (errno tells why) when the content cannot be written.
    bool prepare(const std::string& path, std::string_view content);
    // False (errno tells why) when it cannot be put in place; the old file
    // then stays.
    bool commit();

private:
    void discard();

    std::string path_;
    std::string temporary_;
    int unnamed_ = -1;     // the written file while it has no name
    bool named_ = false;   // the written file is at temporary_
};

// text without leading and trailing blanks (spaces only; tabs stay).
std::string trimBlanks(std::string_view text);
// Whether text ends with ending, letters compared without case (".MP3").
bool endsWithIgnoringCase(std::string_view text, std::string_view ending);

// line + CR LF.
void appendLine(std::string& out, std::string_view line);

// Lines of a text, in order. A last line without its line end still counts;
// an empty text has no lines.
class TextLines {
public:
    explicit TextLines(std::string text) : text_(std::move(text)) {}
    bool atEnd() const { return position_ >= text_.size(); }
    // The next line without its line end; "" once at the end.
    std::string next();

private:
    std::string text_;
    std::size_t position_ = 0;
};

}  // namespace korvane
