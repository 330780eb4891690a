// A whole file read into memory, as the WAV and MP3 loaders take it. Main
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace korvane::engine {

struct FileBytes {
    struct Free {
        void operator()(uint8_t* memory) const { std::free(memory); }
    };
    std::unique_ptr<uint8_t, Free> bytes;
    size_t size = 0;  // bytes read, without the zero guard

    const uint8_t* begin() const { return bytes.get(); }
    const uint8_t* end() const { return bytes.get() + size; }
};

// Reads the regular file name whole, followed by guard zero bytes. A file
// that shrinks while it is read gives what it held. Empty (no bytes) when
// the file cannot be opened, is not a regular file, is empty, does not fit
// in memory, or a read fails.
FileBytes readFileBytes(const char* name, size_t guard = 0);

}  // namespace korvane::engine
