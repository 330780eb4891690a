// The ID3v2 tag that may open an MP3 file (titles, cover pictures). It holds
// no MPEG audio, yet fed to libmad its bytes can pass for frames, so readers
// of MP3 files step over it. Header-only: any module that reads MP3 files
// may use it.
#pragma once

#include <cstdint>
#include <cstring>

namespace korvane::engine {

inline constexpr int kId3v2HeaderBytes = 10;

// Bytes of the tag whose header is given (header, body and footer), or 0
// when the bytes are no tag header.
inline int64_t id3v2TagBytes(const unsigned char (&header)[kId3v2HeaderBytes]) {
    if (std::memcmp(header, "ID3", 3) != 0 || header[3] == 0xFF || header[4] == 0xFF) {
        return 0;
    }
    // The size is a 28-bit number in four bytes of seven bits each.
    int64_t size = 0;
    for (int i = 6; i < 10; ++i) {
        if ((header[i] & 0x80) != 0) {
            return 0;
        }
        size = (size << 7) | header[i];
    }
    const bool footer = (header[5] & 0x10) != 0;
    return size + (footer ? 20 : 10);
}

// Bytes to step over at the start of a file of fileLength bytes: its leading
// tag when the tag fits the file, else nothing (a header that claims more
// than the file holds is taken for audio).
inline int64_t leadingTagBytes(const unsigned char (&header)[kId3v2HeaderBytes], int64_t fileLength) {
    const int64_t tag = id3v2TagBytes(header);
    return tag <= fileLength ? tag : 0;
}

}  // namespace korvane::engine
