// Files as bytes, for tests that build damaged or tagged MP3 files.
#pragma once

#include <cstdint>
#include <string>

#include "app/text/text_file.h"

namespace korvane {

// The whole file; empty when it cannot be read.
inline std::string bytesOf(const std::string& path) {
    std::string content;
    readTextFile(path, content);
    return content;
}

// An ID3v2.3 tag header: flags, then the size in four 7-bit bytes.
inline std::string id3Header(unsigned char flags, std::uint32_t size) {
    std::string header = "ID3\x03";
    header += '\0';
    header += static_cast<char>(flags);
    for (int shift = 21; shift >= 0; shift -= 7) header += static_cast<char>((size >> shift) & 0x7F);
    return header;
}

}  // namespace korvane
