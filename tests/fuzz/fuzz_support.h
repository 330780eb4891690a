// Pieces shared by the fuzz targets: a failed check that libFuzzer and the
// replay driver both see as a crash, and the temporary file a target hands
// to code that reads files.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace korvane::fuzz {

// Aborts, naming the target and what went wrong, when condition is false.
inline void check(bool condition, const char* target, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "%s: %s\n", target, what.c_str());
        std::abort();
    }
}

// A file in the temporary folder (TMPDIR or /tmp) named
// korvane-fuzz-TAG-XXXXXX plus suffix, removed with the object. Targets keep
// theirs in a function-local static, so it is made once and removed at exit.
class TemporaryFile {
public:
    explicit TemporaryFile(const char* tag, const std::string& suffix = "") {
        const char* folder = std::getenv("TMPDIR");
        path_ = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/korvane-fuzz-" + tag +
                "-XXXXXX" + suffix;
        const int descriptor = ::mkstemps(path_.data(), static_cast<int>(suffix.size()));
        check(descriptor >= 0, tag, "cannot make a temporary file");
        ::close(descriptor);
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }

    // Replaces the file's content with size bytes of data.
    void write(const std::uint8_t* data, std::size_t size) const {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
        const bool closed = file != nullptr && std::fclose(file) == 0;
        check(written && closed, "fuzz", "cannot write " + path_);
    }

private:
    std::string path_;
};

}  // namespace korvane::fuzz
