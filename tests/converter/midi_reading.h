// Reading back the MIDI files korvane-tomidi writes, for its tests: the
// header checked, every event with its absolute tick. Anything malformed
// (running status included, which the writer never uses) fails the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::converter {

inline std::uint32_t bigEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

struct ParsedEvent {
    std::uint32_t tick;
    std::vector<int> bytes;
};

inline std::vector<ParsedEvent> parseMidi(const std::string& file) {
    std::vector<ParsedEvent> events;
    if (file.size() < 22) {
        ADD_FAILURE() << "a MIDI file of " << file.size() << " bytes";
        return events;
    }
    EXPECT_EQ(file.substr(0, 4), "MThd");
    EXPECT_EQ(bigEndian(file, 4, 4), 6u);
    EXPECT_EQ(bigEndian(file, 8, 2), 0u);
    EXPECT_EQ(bigEndian(file, 10, 2), 1u);
    EXPECT_EQ(bigEndian(file, 12, 2), 500u);
    EXPECT_EQ(file.substr(14, 4), "MTrk");
    const std::size_t end = 22 + bigEndian(file, 18, 4);
    EXPECT_EQ(end, file.size());
    std::size_t at = 22;
    std::uint32_t tick = 0;
    while (at < end && at < file.size()) {
        std::uint32_t delta = 0;
        std::uint8_t byte;
        do {
            byte = static_cast<std::uint8_t>(file[at++]);
            delta = delta << 7 | (byte & 0x7F);
        } while ((byte & 0x80) != 0 && at < end);
        tick += delta;
        ParsedEvent event{tick, {}};
        const int status = static_cast<std::uint8_t>(file[at]);
        EXPECT_GE(status, 0x80) << "running status at byte " << at;
        std::size_t length = (status & 0xF0) == 0xC0 ? 2 : 3;
        if (status == 0xFF) {  // type, then a variable-length size
            std::size_t size = 0, sizeBytes = 0;
            do {
                byte = static_cast<std::uint8_t>(file[at + 2 + sizeBytes++]);
                size = size << 7 | (byte & 0x7F);
            } while ((byte & 0x80) != 0 && at + 2 + sizeBytes < end);
            length = 2 + sizeBytes + size;
        }
        for (std::size_t i = 0; i < length && at + i < file.size(); ++i)
            event.bytes.push_back(static_cast<std::uint8_t>(file[at + i]));
        at += length;
        events.push_back(event);
    }
    EXPECT_FALSE(events.empty());
    if (!events.empty()) {
        EXPECT_EQ(events.back().bytes, (std::vector<int>{0xFF, 0x2F, 0x00}));
    }
    return events;
}

}  // namespace korvane::converter
