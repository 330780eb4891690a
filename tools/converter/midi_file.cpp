#include "tools/converter/midi_file.h"

#include <algorithm>
#include <cmath>

namespace korvane::converter {

namespace {

void appendBigEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// Delta times are variable-length quantities: 7 bits per byte, the high bit
// set on every byte but the last.
void appendVariableLength(std::string& out, std::uint32_t value) {
    char bytes[5];
    int count = 0;
    do {
        bytes[count++] = static_cast<char>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<char>(bytes[--count] | 0x80));
    out.push_back(bytes[0]);
}

// Whole milliseconds, never negative, within what a delta time can hold.
std::uint32_t tickOf(double seconds) {
    const double ticks = std::nearbyint(seconds * 1000.0);
    if (!(ticks > 0)) return 0;
    return static_cast<std::uint32_t>(std::min(ticks, 2.0e8));
}

}  // namespace

std::string midiFileBytes(const std::vector<TimedMessage>& messages, std::string_view note) {
    std::string track;
    appendVariableLength(track, 0);
    track += "\xFF\x51\x03";
    appendBigEndian(track, microsecondsPerQuarter, 3);
    if (!note.empty()) {
        appendVariableLength(track, 0);
        track += "\xFF\x01";
        appendVariableLength(track, static_cast<std::uint32_t>(note.size()));
        track += note;
    }

    std::uint32_t lastTick = 0;
    for (const TimedMessage& message : messages) {
        const std::uint32_t tick = std::max(lastTick, tickOf(message.time));
        appendVariableLength(track, tick - lastTick);
        lastTick = tick;
        // Status byte with its high bit, data bytes without.
        for (int i = 0; i < ShortMessage(message.packed).size(); ++i) {
            const std::uint32_t byte = (message.packed >> (8 * i)) & 0x7F;
            track.push_back(static_cast<char>(i == 0 ? byte | 0x80 : byte));
        }
    }
    appendVariableLength(track, 0);
    track += std::string("\xFF\x2F\x00", 3);

    std::string file = "MThd";
    appendBigEndian(file, 6, 4);
    appendBigEndian(file, 0, 2);  // format 0
    appendBigEndian(file, 1, 2);  // one track
    appendBigEndian(file, ticksPerQuarter, 2);
    file += "MTrk";
    appendBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
    return file + track;
}

std::string midiFileNote(std::string_view bytes) {
    std::size_t at = 22;  // the header chunk, then the track chunk's type and length
    if (bytes.size() < at || !bytes.starts_with("MThd") || bytes.substr(14, 4) != "MTrk") return {};
    // Reads a variable-length quantity; false past the end or beyond 4 bytes.
    const auto quantity = [&](std::uint32_t& value) {
        value = 0;
        for (int count = 0; count < 4 && at < bytes.size(); ++count) {
            const auto byte = static_cast<unsigned char>(bytes[at++]);
            value = (value << 7) | (byte & 0x7Fu);
            if ((byte & 0x80u) == 0) return true;
        }
        return false;
    };
    // Meta events at tick 0, the first ones of the track.
    std::uint32_t delta = 0;
    while (quantity(delta) && delta == 0 && at + 2 <= bytes.size() && bytes[at] == '\xFF') {
        const char type = bytes[at + 1];
        at += 2;
        std::uint32_t length = 0;
        if (!quantity(length) || length > bytes.size() - at) return {};
        if (type == '\x01') return std::string(bytes.substr(at, length));
        at += length;
    }
    return {};
}

}  // namespace korvane::converter
