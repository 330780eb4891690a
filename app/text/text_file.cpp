#include "app/text/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace korvane {

bool readTextFile(const std::string& path, std::string& content) {
    content.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    try {
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        in.setstate(std::ios::badbit);  // a folder opens, but its reads throw
    }
    if (in.bad()) {
        content.clear();
        return false;
    }
    return true;
}

namespace {

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// An unnamed file in path's folder (O_TMPFILE), so that a writer killed
// before it is done leaves nothing behind; -1 where the file system has no
// such files, or where no /proc would let the file be named later.
int openUnnamedBeside(const std::string& path) {
    if (::access("/proc/self/fd", X_OK) != 0) return -1;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// Writes content to fd and makes it durable.
bool writeDurably(int fd, std::string_view content) { return writeAll(fd, content) && ::fsync(fd) == 0; }

}  // namespace

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : path_(std::move(other.path_)),
      temporary_(std::move(other.temporary_)),
      unnamed_(other.unnamed_),
      named_(other.named_) {
    other.unnamed_ = -1;
    other.named_ = false;
}

FileReplacement::~FileReplacement() { discard(); }

// Forgets the written file; errno keeps the reason of a failure before it.
void FileReplacement::discard() {
    const int reason = errno;
    if (unnamed_ >= 0) ::close(unnamed_);
    if (named_) ::unlink(temporary_.c_str());
    unnamed_ = -1;
    named_ = false;
    errno = reason;
}

bool FileReplacement::prepare(const std::string& path, std::string_view content) {
    discard();
    path_ = path;
    // A name of our own beside the target: rename() only replaces atomically
    // within one file system.
    static std::atomic<unsigned> serial{0};
    temporary_ = path + ".tmp" + std::to_string(::getpid()) + "-" +
                 std::to_string(serial.fetch_add(1, std::memory_order_relaxed));
    unnamed_ = openUnnamedBeside(path);
    if (unnamed_ < 0) {
        const int file = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0) return false;
        named_ = true;
        const bool written = writeDurably(file, content);
        if (::close(file) != 0 || !written) {
            discard();
            return false;
        }
        return true;
    }
    if (!writeDurably(unnamed_, content)) {
        discard();
        return false;
    }
    return true;
}

bool FileReplacement::commit() {
    if (unnamed_ >= 0) {
        // The file has the temporary name only for the moment before the
        // rename: a link cannot replace the target.
        const std::string self = "/proc/self/fd/" + std::to_string(unnamed_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            discard();
            return false;
        }
        named_ = true;
    }
    if (!named_ || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        discard();
        return false;
    }
    named_ = false;
    discard();
    return true;
}

bool writeTextFile(const std::string& path, std::string_view content) {
    FileReplacement replacement;
    return replacement.prepare(path, content) && replacement.commit();
}

std::string trimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

bool endsWithIgnoringCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    text.remove_prefix(text.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(ending[i])))
            return false;
    }
    return true;
}

void appendLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

std::string TextLines::next() {
    if (atEnd()) return {};
    const std::size_t end = text_.find('\n', position_);
    const std::size_t stop = end == std::string::npos ? text_.size() : end;
    std::size_t length = stop - position_;
    if (length > 0 && text_[stop - 1] == '\r') --length;
    std::string line = text_.substr(position_, length);
    position_ = end == std::string::npos ? text_.size() : end + 1;
    return line;
}

}  // namespace korvane
