// WAV files made in memory for the engine's tests, fuzz seeds and
// benchmarks: a canonical 44-byte header over the given samples, and the
// same bytes as a memory image.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/fbs.h"

namespace korvane::engine::test {

inline void putLe(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// A PCM WAV file: header fields as given, data appended; the data size field
// says claimedBytes (the data's real size when negative).
inline std::vector<uint8_t> wavFile(int channels, uint32_t rate, int bits, const std::vector<uint8_t>& data,
                                    int64_t claimedBytes = -1) {
    std::vector<uint8_t> bytes(44 + data.size());
    const auto dataBytes = static_cast<uint32_t>(claimedBytes < 0 ? static_cast<int64_t>(data.size()) : claimedBytes);
    const auto blockalign = static_cast<uint32_t>(channels * (bits / 8));
    std::memcpy(bytes.data(), "RIFF", 4);
    putLe(bytes, 4, 36 + dataBytes, 4);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    putLe(bytes, 16, 16, 4);
    putLe(bytes, 20, 1, 2);
    putLe(bytes, 22, static_cast<uint32_t>(channels), 2);
    putLe(bytes, 24, rate, 4);
    putLe(bytes, 28, rate * blockalign, 4);
    putLe(bytes, 32, blockalign, 2);
    putLe(bytes, 34, static_cast<uint32_t>(bits), 2);
    std::memcpy(bytes.data() + 36, "data", 4);
    putLe(bytes, 40, dataBytes, 4);
    std::copy(data.begin(), data.end(), bytes.begin() + 44);
    return bytes;
}

// 16-bit samples, interleaved, as little-endian bytes.
inline std::vector<uint8_t> sampleBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(samples[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    return bytes;
}

inline std::vector<uint8_t> wav16(int channels, uint32_t rate, const std::vector<int16_t>& samples) {
    return wavFile(channels, rate, 16, sampleBytes(samples));
}

// The WAV bytes as a memory image: the write and end addresses, then the
// bytes. The image must not move once made.
class WavImage {
public:
    explicit WavImage(const std::vector<uint8_t>& wav) : bytes_(sizeof(FBS_WAVIMAGE) + wav.size()) {
        std::memcpy(bytes_.data() + sizeof(FBS_WAVIMAGE), wav.data(), wav.size());
        const FBS_WAVIMAGE head{bytes_.data() + bytes_.size(), bytes_.data() + bytes_.size()};
        std::memcpy(bytes_.data(), &head, sizeof head);
    }
    const void* address() const { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace korvane::engine::test
