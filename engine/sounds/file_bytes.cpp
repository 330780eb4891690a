#include "engine/sounds/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvane::engine {

FileBytes readFileBytes(const char* name, size_t guard) {
    FileBytes file;
    if (name == nullptr) {
        return file;
    }
    const int descriptor = ::open(name, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return file;
    }
    // Only a regular file has a length; a folder or a pipe is refused.
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 1 ||
        static_cast<uint64_t>(info.st_size) > SIZE_MAX - guard) {
        ::close(descriptor);
        return file;
    }
    const auto length = static_cast<size_t>(info.st_size);
    file.bytes.reset(static_cast<uint8_t*>(std::malloc(length + guard)));
    size_t got = 0;
    while (file.bytes != nullptr && got < length) {
        const ssize_t read = ::read(descriptor, file.bytes.get() + got, length - got);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            got = 0;  // a read error fails the whole file
            break;
        }
        if (read == 0) {
            break;
        }
        got += static_cast<size_t>(read);
    }
    ::close(descriptor);
    if (file.bytes == nullptr || got == 0) {
        file.bytes.reset();
        return file;
    }
    std::memset(file.bytes.get() + got, 0, guard);
    file.size = got;
    return file;
}

}  // namespace korvane::engine
