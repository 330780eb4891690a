// The title of an MP3 file's tag: the TIT2 frame of an ID3v2.3/2.4 tag (TT2
// of ID3v2.2) at its start, else the ID3v1 tag in its last 128 bytes. Text
// comes out as UTF-8 whatever the tag's encoding (Latin-1, UTF-16, UTF-8).
#include <cstdint>
#include <fstream>
#include <vector>

#include "app/mpris/mpris.h"
#include "engine/stream/id3v2_tag.h"

namespace korvane::mpris {

namespace {

// The most of a tag read to find its title; covers, lyrics and the like
// beyond it are not looked at.
constexpr std::int64_t tagReadLimit = 1 << 20;

std::uint32_t bigEndian(const unsigned char* p, int bytes, bool syncsafe) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << (syncsafe ? 7 : 8)) | (syncsafe ? (p[i] & 0x7F) : p[i]);
    return value;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

// UTF-16 with a byte-order mark, or big-endian without one; ends at a zero
// unit. A lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const unsigned char* p, std::size_t size, bool bigEndianDefault) {
    bool big = bigEndianDefault;
    std::size_t i = 0;
    if (size >= 2 && ((p[0] == 0xFF && p[1] == 0xFE) || (p[0] == 0xFE && p[1] == 0xFF))) {
        big = p[0] == 0xFE;
        i = 2;
    }
    const auto unit = [&](std::size_t at) -> char32_t {
        return big ? (char32_t{p[at]} << 8) | p[at + 1] : (char32_t{p[at + 1]} << 8) | p[at];
    };
    std::string out;
    for (; i + 1 < size; i += 2) {
        char32_t c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string textFrame(const unsigned char* p, std::size_t size) {
    if (size < 1) return {};
    const unsigned char encoding = p[0];
    const auto* text = reinterpret_cast<const char*>(p + 1);
    const std::string_view raw(text, size - 1);
    const std::string_view untilNul = raw.substr(0, raw.find('\0'));
    switch (encoding) {
    case 0: return latin1ToUtf8(untilNul);
    case 1: return utf16ToUtf8(p + 1, size - 1, true);
    case 2: return utf16ToUtf8(p + 1, size - 1, true);
    case 3: return validUtf8(untilNul);
    default: return {};
    }
}

// Removes the zero byte that unsynchronisation puts after every 0xFF.
void resynchronise(std::vector<unsigned char>& body) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[out++] = body[i];
        if (body[i] == 0xFF && i + 1 < body.size() && body[i + 1] == 0) ++i;
    }
    body.resize(out);
}

std::string id3v2Title(std::ifstream& file) {
    unsigned char header[engine::kId3v2HeaderBytes];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return {};
    const std::int64_t tagBytes = engine::id3v2TagBytes(header);
    const int version = header[3];
    const unsigned char flags = header[5];
    if (tagBytes <= 0 || version < 2 || version > 4 || (version == 2 && (flags & 0x40) != 0)) return {};
    std::vector<unsigned char> body(static_cast<std::size_t>(std::min(tagBytes - 10, tagReadLimit)));
    file.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(body.size()));
    body.resize(static_cast<std::size_t>(file.gcount()));
    if ((flags & 0x80) != 0) resynchronise(body);

    std::size_t at = 0;
    if (version >= 3 && (flags & 0x40) != 0 && body.size() >= 4) {
        const std::uint32_t extended = bigEndian(body.data(), 4, version == 4);
        at = version == 4 ? extended : extended + 4;
    }
    const std::size_t idBytes = version == 2 ? 3 : 4;
    const std::size_t frameHeader = version == 2 ? 6 : 10;
    const char* titleId = version == 2 ? "TT2" : "TIT2";
    while (at + frameHeader <= body.size() && body[at] != 0) {
        const unsigned char* frame = body.data() + at;
        std::size_t size = bigEndian(frame + idBytes, version == 2 ? 3 : 4, version == 4);
        const std::size_t start = at + frameHeader;
        if (size > body.size() - start) return {};
        at = start + size;
        if (std::string_view(reinterpret_cast<const char*>(frame), idBytes) != titleId) continue;
        std::size_t skip = 0;
        if (version == 3) {
            if ((frame[9] & 0xC0) != 0) return {};  // compressed or encrypted
            if ((frame[9] & 0x20) != 0) skip = 1;   // group byte
        } else if (version == 4) {
            if ((frame[9] & 0x0C) != 0) return {};
            skip = ((frame[9] & 0x40) != 0 ? 1 : 0) + ((frame[9] & 0x01) != 0 ? 4 : 0);
        }
        if (skip > size) return {};
        return trimmed(textFrame(body.data() + start + skip, size - skip));
    }
    return {};
}

std::string id3v1Title(std::ifstream& file) {
    file.clear();
    file.seekg(0, std::ios::end);
    const std::streamoff length = file.tellg();
    if (length < 128) return {};
    char tag[128];
    file.seekg(length - 128);
    if (!file.read(tag, sizeof tag) || std::string_view(tag, 3) != "TAG") return {};
    const std::string_view title(tag + 3, 30);
    return trimmed(latin1ToUtf8(title.substr(0, title.find('\0'))));
}

}  // namespace

std::string tagTitle(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::string title = id3v2Title(file);
    if (title.empty()) title = id3v1Title(file);
    return title;
}

}  // namespace korvane::mpris
