#include "playback/track_length.h"

#include <mad.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "engine/stream/id3v2_tag.h"

namespace korvane {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Bytes of an ID3v2 tag at the file's start that fits the file, or 0; the
// same rule as the stream's, so both skip the same bytes.
std::int64_t leadingTagSize(std::FILE* file) {
    unsigned char header[engine::kId3v2HeaderBytes];
    if (std::fread(header, 1, sizeof header, file) != sizeof header) return 0;
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    return engine::leadingTagBytes(header, ftello(file));
}

std::uint32_t bigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

// What a Xing/Info frame says of the whole stream: its frame count (0 when
// absent) and its length in bytes from this frame on (0 when absent).
struct StreamSummary {
    std::uint32_t frames = 0;
    std::uint32_t bytes = 0;
};

// A Layer III frame whose side information is followed by "Xing" or "Info"
// carries the stream's summary instead of audio. Returns the summary, or
// nothing when it is an audio frame.
std::optional<StreamSummary> streamSummary(const mad_header& header, const unsigned char* frame,
                                           std::size_t length) {
    if (header.layer != MAD_LAYER_III) return std::nullopt;
    const bool lowRate = (header.flags & MAD_FLAG_LSF_EXT) != 0;
    const bool mono = header.mode == MAD_MODE_SINGLE_CHANNEL;
    std::size_t offset = 4 + (lowRate ? (mono ? 9 : 17) : (mono ? 17 : 32));
    if (header.flags & MAD_FLAG_PROTECTION) offset += 2;
    if (offset + 8 > length) return std::nullopt;
    const unsigned char* tag = frame + offset;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0) return std::nullopt;
    const std::uint32_t flags = bigEndian32(tag + 4);
    StreamSummary summary;
    std::size_t field = offset + 8;
    if ((flags & 1) != 0 && field + 4 <= length) {
        summary.frames = bigEndian32(frame + field);
        field += 4;
    }
    if ((flags & 2) != 0 && field + 4 <= length) summary.bytes = bigEndian32(frame + field);
    return summary;
}

// The playing time in milliseconds, and how the audio begins in start;
// nothing when no frame header decodes.
std::optional<std::int64_t> scanLengthMs(std::FILE* file, StreamStart& start) {
    const std::int64_t tag = leadingTagSize(file);
    if (fseeko(file, 0, SEEK_END) != 0) return std::nullopt;
    const std::int64_t audioBytes = ftello(file) - tag;  // from the first frame on
    if (fseeko(file, static_cast<off_t>(tag), SEEK_SET) != 0) return std::nullopt;

    constexpr std::size_t blockSize = 64 * 1024;
    std::vector<unsigned char> block(blockSize + MAD_BUFFER_GUARD);
    std::size_t filled = 0;
    bool fileEnded = false;

    mad_stream stream;
    mad_stream_init(&stream);
    mad_header header;
    mad_header_init(&header);

    mad_timer_t total = mad_timer_zero;
    std::int64_t frames = 0;
    bool needData = true;
    while (true) {
        if (needData) {
            // Keep the undecoded tail and read behind it. At the end of the
            // file libmad needs MAD_BUFFER_GUARD zero bytes to take the last frame.
            std::size_t kept = 0;
            if (stream.next_frame != nullptr) {
                kept = static_cast<std::size_t>(block.data() + filled - stream.next_frame);
                std::memmove(block.data(), stream.next_frame, kept);
            }
            if (fileEnded || kept >= blockSize) break;
            const std::size_t wanted = blockSize - kept;
            const std::size_t got = std::fread(block.data() + kept, 1, wanted, file);
            filled = kept + got;
            if (got < wanted) {
                fileEnded = true;
                std::memset(block.data() + filled, 0, MAD_BUFFER_GUARD);
                filled += MAD_BUFFER_GUARD;
            }
            mad_stream_buffer(&stream, block.data(), filled);
            needData = false;
        }
        if (mad_header_decode(&header, &stream) == -1) {
            if (stream.error == MAD_ERROR_BUFLEN) {
                needData = true;
                continue;
            }
            if (MAD_RECOVERABLE(stream.error)) continue;
            break;
        }
        if (frames == 0) {
            start.sampleRate = static_cast<int>(header.samplerate);
            start.frameSamples = 32 * static_cast<int>(MAD_NSBSAMPLES(&header));
            const auto length = static_cast<std::size_t>(stream.next_frame - stream.this_frame);
            if (const auto summary = streamSummary(header, stream.this_frame, length)) {
                start.summaryFrame = true;
                // A file cut after the summary was written holds fewer bytes
                // than it says: its frames are measured instead.
                const bool whole = summary->bytes == 0 || summary->bytes <= audioBytes;
                if (summary->frames > 0 && whole) {
                    total = header.duration;
                    mad_timer_multiply(&total, static_cast<signed long>(summary->frames));
                    frames = summary->frames;
                    break;
                }
                continue;  // measure the audio frames
            }
        }
        mad_timer_add(&total, header.duration);
        ++frames;
    }
    mad_header_finish(&header);
    mad_stream_finish(&stream);
    if (frames == 0) return std::nullopt;
    return mad_timer_count(total, MAD_UNITS_MILLISECONDS);
}

}  // namespace

int queryLengthService(const std::string& path, std::string& reply, StreamStart* start) {
    // No file name holds a NUL byte: opening the text before it would
    // measure another file.
    if (path.find('\0') != std::string::npos) return lengthServiceCannotOpen;
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) return lengthServiceCannotOpen;
    StreamStart found;
    const std::optional<std::int64_t> milliseconds = scanLengthMs(file.get(), found);
    if (!milliseconds) return lengthServiceNoFrames;
    reply = std::to_string(*milliseconds);
    if (start != nullptr) *start = found;
    return lengthServiceOk;
}

}  // namespace korvane
