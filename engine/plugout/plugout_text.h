// Writing a text into a fixed-size field (a record's name or device, a
// plug-out's error text): cut to fit, zero-terminated, zero-padded behind.
#pragma once

#include <cstddef>
#include <cstring>

namespace korvane::engine {

template <std::size_t N>
void writeText(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    if (text != nullptr) {
        std::strncpy(field, text, N - 1);
    }
}

}  // namespace korvane::engine
