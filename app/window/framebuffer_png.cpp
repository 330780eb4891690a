// Framebuffer::savePng and Framebuffer::loadPng: 8-bit truecolour PNG
// through zlib's deflate.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/window/platform.h"

namespace korvane {

namespace {

constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Larger images are refused when loading: nothing korvane draws comes near.
constexpr std::uint32_t maxSide = 16384;
constexpr std::size_t maxFileBytes = 256u << 20;

void putBigEndian(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16));
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

std::uint32_t getBigEndian(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void putChunk(std::string& out, const char type[4], const std::string& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string typed(type, 4);
    typed += data;
    out += typed;
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    putBigEndian(out, static_cast<std::uint32_t>(crc));
}

int paeth(int left, int up, int upLeft) {
    int estimate = left + up - upLeft;
    int toLeft = estimate > left ? estimate - left : left - estimate;
    int toUp = estimate > up ? estimate - up : up - estimate;
    int toUpLeft = estimate > upLeft ? estimate - upLeft : upLeft - estimate;
    if (toLeft <= toUp && toLeft <= toUpLeft) return left;
    if (toUp <= toUpLeft) return up;
    return upLeft;
}

// Undoes the per-row filters in place; rows are 1 filter byte + stride bytes.
bool unfilter(std::vector<unsigned char>& data, std::size_t stride, std::size_t rows, std::size_t bytesPerPixel) {
    for (std::size_t row = 0; row < rows; ++row) {
        unsigned char* line = data.data() + row * (stride + 1);
        const unsigned char* previous = row > 0 ? line - (stride + 1) + 1 : nullptr;
        unsigned char filter = line[0];
        unsigned char* bytes = line + 1;
        for (std::size_t i = 0; i < stride; ++i) {
            int left = i >= bytesPerPixel ? bytes[i - bytesPerPixel] : 0;
            int up = previous ? previous[i] : 0;
            int upLeft = previous && i >= bytesPerPixel ? previous[i - bytesPerPixel] : 0;
            int predicted = 0;
            switch (filter) {
                case 0: predicted = 0; break;
                case 1: predicted = left; break;
                case 2: predicted = up; break;
                case 3: predicted = (left + up) / 2; break;
                case 4: predicted = paeth(left, up, upLeft); break;
                default: return false;
            }
            bytes[i] = static_cast<unsigned char>(bytes[i] + predicted);
        }
    }
    return true;
}

}  // namespace

bool Framebuffer::savePng(const std::string& path) const {
    if (width < 1 || height < 1) return false;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    std::string raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < width; ++x) {
            std::uint32_t colour = at(x, y);
            raw.push_back(static_cast<char>(colour >> 16));
            raw.push_back(static_cast<char>(colour >> 8));
            raw.push_back(static_cast<char>(colour));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, truecolour, deflate, filters, no interlace

    std::string file(reinterpret_cast<const char*>(signature), sizeof signature);
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", std::string());

    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool Framebuffer::loadPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<unsigned char> file;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        file.insert(file.end(), block, block + in.gcount());
        if (file.size() > maxFileBytes) return false;
    }
    if (file.size() < sizeof signature || std::memcmp(file.data(), signature, sizeof signature) != 0) return false;

    std::uint32_t w = 0, h = 0;
    unsigned char colourType = 0;
    std::vector<unsigned char> packed;
    bool ended = false;
    std::size_t pos = sizeof signature;
    while (!ended) {
        if (file.size() - pos < 12) return false;
        std::uint32_t length = getBigEndian(&file[pos]);
        if (length > file.size() - pos - 12) return false;
        const unsigned char* type = &file[pos + 4];
        const unsigned char* data = type + 4;
        uLong crc = crc32(0L, type, length + 4);
        if (crc != getBigEndian(data + length)) return false;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13) return false;
            w = getBigEndian(data);
            h = getBigEndian(data + 4);
            colourType = data[9];
            if (w < 1 || h < 1 || w > maxSide || h > maxSide) return false;
            if (data[8] != 8 || (colourType != 2 && colourType != 6)) return false;
            if (data[10] != 0 || data[11] != 0 || data[12] != 0) return false;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), data, data + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        pos += 12 + static_cast<std::size_t>(length);
    }
    if (w == 0) return false;

    const std::size_t bytesPerPixel = colourType == 6 ? 4 : 3;
    const std::size_t stride = w * bytesPerPixel;
    std::vector<unsigned char> raw((stride + 1) * h);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawSize, packed.data(), static_cast<uLong>(packed.size())) != Z_OK) return false;
    if (rawSize != raw.size() || !unfilter(raw, stride, h, bytesPerPixel)) return false;

    resize(static_cast<int>(w), static_cast<int>(h));
    for (std::uint32_t y = 0; y < h; ++y) {
        const unsigned char* bytes = raw.data() + y * (stride + 1) + 1;
        for (std::uint32_t x = 0; x < w; ++x, bytes += bytesPerPixel) {
            std::uint32_t alpha = bytesPerPixel == 4 ? bytes[3] : 255;
            pixels[y * w + x] =
                (alpha << 24) | (std::uint32_t{bytes[0]} << 16) | (std::uint32_t{bytes[1]} << 8) | bytes[2];
        }
    }
    return true;
}

}  // namespace korvane
