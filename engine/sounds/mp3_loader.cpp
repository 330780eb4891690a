// Loading a whole MP3 file as a wave: libmad's synchronous decoder turns it
// into a WAV, held in a temporary file or in a memory image, which the WAV
// loaders then read and resample to the output rate. Frames are converted to
// 16-bit in the output's channel count at the MP3's own rate; the WAV header
// takes the rate of the first frame. Main thread only.
#include <mad.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "engine/plugout/engine_state.h"
#include "engine/sounds/file_bytes.h"
#include "engine/sounds/sounds.h"
#include "engine/stream/id3v2_tag.h"
#include "engine/stream/stream.h"

namespace korvane::engine {

namespace {

constexpr size_t kWavHeaderBytes = 44;
// The RIFF size counts the header after its first 8 bytes.
constexpr uint32_t kRiffHeadBytes = 36;
constexpr uint32_t kMostDataBytes = UINT32_MAX - kRiffHeadBytes;
constexpr int kSmallestImage = 100000;
constexpr int kLargestImage = 100000000;

void putLe16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void putLe32(uint8_t* at, uint32_t value) {
    putLe16(at, value);
    putLe16(at + 2, value >> 16);
}

// The canonical header of 16-bit PCM.
void writeWavHeader(uint8_t* header, int channels, uint32_t rate, uint32_t dataBytes) {
    const auto frameBytes = static_cast<uint32_t>(2 * channels);
    std::memcpy(header, "RIFF", 4);
    putLe32(header + 4, kRiffHeadBytes + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLe32(header + 16, 16);
    putLe16(header + 20, 1);
    putLe16(header + 22, static_cast<uint32_t>(channels));
    putLe32(header + 24, rate);
    putLe32(header + 28, rate * frameBytes);
    putLe16(header + 32, frameBytes);
    putLe16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    putLe32(header + 40, dataBytes);
}

// Where the decoded frames go.
class WavSink {
public:
    virtual ~WavSink() = default;
    // One frame of 16-bit output frames at the MP3's rate; false stops the
    // decoding.
    virtual bool append(const uint8_t* bytes, size_t size, uint32_t rate) = 0;
};

// A WAV file written as the frames come; the header is written again with
// the final sizes at the end.
class FileSink final : public WavSink {
public:
    FileSink(FILE* file, int channels) : file_(file), channels_(channels) {}

    bool append(const uint8_t* bytes, size_t size, uint32_t rate) override {
        if (!started_) {
            started_ = true;
            rate_ = rate;
            uint8_t header[kWavHeaderBytes];
            writeWavHeader(header, channels_, rate_, 0);
            failed_ = std::fwrite(header, 1, sizeof header, file_) != sizeof header;
        }
        if (failed_ || std::fwrite(bytes, 1, size, file_) != size) {
            failed_ = true;
            return false;
        }
        // Beyond what the 32-bit sizes hold, the header counts no further.
        dataBytes_ = size > kMostDataBytes - dataBytes_ ? kMostDataBytes : dataBytes_ + static_cast<uint32_t>(size);
        return true;
    }

    // Rewrites the header and closes the file; false when any write failed.
    bool finish() {
        if (started_ && !failed_) {
            uint8_t header[kWavHeaderBytes];
            writeWavHeader(header, channels_, rate_, dataBytes_);
            failed_ = std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header;
        }
        return std::fclose(file_) == 0 && !failed_;
    }

private:
    FILE* file_;
    int channels_;
    bool started_ = false;
    bool failed_ = false;
    uint32_t rate_ = 0;
    uint32_t dataBytes_ = 0;
};

// A memory image: its two addresses, the header, then the frames while they
// fit before the end address. The first frame that does not fit moves the
// write address to the end and stops the decoding.
class ImageSink final : public WavSink {
public:
    ImageSink(uint8_t* image, size_t size, int channels)
        : image_(image), wav_(image + sizeof(FBS_WAVIMAGE)), end_(image + size), write_(wav_ + kWavHeaderBytes),
          channels_(channels) {
        storeAddresses();
    }

    bool append(const uint8_t* bytes, size_t size, uint32_t rate) override {
        if (!started_) {
            started_ = true;
            rate_ = rate;
        }
        if (size > static_cast<size_t>(end_ - write_)) {
            write_ = end_;
            full_ = true;
            storeAddresses();
            return false;
        }
        std::memcpy(write_, bytes, size);
        write_ += size;
        dataBytes_ += static_cast<uint32_t>(size);
        writeWavHeader(wav_, channels_, rate_, dataBytes_);
        storeAddresses();
        return true;
    }

    // Image bytes in use, the two addresses and the header included.
    size_t used() const { return static_cast<size_t>(write_ - image_); }
    bool full() const { return full_; }

private:
    void storeAddresses() {
        const FBS_WAVIMAGE head{write_, end_};
        std::memcpy(image_, &head, sizeof head);
    }

    uint8_t* image_;
    uint8_t* wav_;
    uint8_t* end_;
    uint8_t* write_;
    int channels_;
    bool started_ = false;
    bool full_ = false;
    uint32_t rate_ = 0;
    uint32_t dataBytes_ = 0;  // below the image size, at most 100000000
};

struct Mp3Decoding {
    const uint8_t* data;
    size_t size;  // the MAD_BUFFER_GUARD zero bytes included
    bool given = false;
    int channels;
    WavSink* sink;
    int16_t converted[2 * kMaxFrameSamples];
};

// The whole file at once, then the end.
mad_flow giveInput(void* context, mad_stream* input) {
    auto& decoding = *static_cast<Mp3Decoding*>(context);
    if (decoding.given) {
        return MAD_FLOW_STOP;
    }
    decoding.given = true;
    mad_stream_buffer(input, decoding.data, decoding.size);
    return MAD_FLOW_CONTINUE;
}

mad_flow takeFrame(void* context, const mad_header*, mad_pcm* pcm) {
    auto& decoding = *static_cast<Mp3Decoding*>(context);
    if (pcm->length == 0) {
        return MAD_FLOW_CONTINUE;
    }
    const MixPrimitives& mix = engine.mix;
    if (pcm->channels == 2) {
        mix.scaleMp3Stereo(decoding.converted, pcm->samples[0], pcm->samples[1], pcm->length);
    } else {
        mix.scaleMp3Mono(decoding.converted, pcm->samples[0], pcm->length);
    }
    const size_t bytes = static_cast<size_t>(pcm->length) * 2 * static_cast<size_t>(decoding.channels);
    return decoding.sink->append(reinterpret_cast<const uint8_t*>(decoding.converted), bytes, pcm->samplerate)
               ? MAD_FLOW_CONTINUE
               : MAD_FLOW_STOP;
}

// Damaged frames are passed over; anything else ends the decoding as failed.
mad_flow onError(void*, mad_stream* input, mad_frame*) {
    return MAD_RECOVERABLE(input->error) || input->error == MAD_ERROR_BUFLEN ? MAD_FLOW_CONTINUE : MAD_FLOW_BREAK;
}

// Decodes file (read with its MAD_BUFFER_GUARD zero bytes) into sink,
// stepping over a leading ID3v2 tag; true when libmad did not fail.
bool decodeMp3(const FileBytes& file, WavSink& sink) {
    size_t tag = 0;
    if (file.size >= static_cast<size_t>(kId3v2HeaderBytes)) {
        unsigned char header[kId3v2HeaderBytes];
        std::memcpy(header, file.begin(), sizeof header);
        tag = static_cast<size_t>(leadingTagBytes(header, static_cast<int64_t>(file.size)));
    }
    Mp3Decoding decoding{file.begin() + tag, file.size - tag + MAD_BUFFER_GUARD, false, FBS_GET_PLUGCHANNELS(),
                         &sink, {}};
    mad_decoder decoder;
    mad_decoder_init(&decoder, &decoding, giveInput, nullptr, nullptr, takeFrame, onError, nullptr);
    const int result = mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return result == 0;
}

bool sameFile(const char* a, const char* b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a, &first) == 0 && ::stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// The temporary WAV file: tmpname as given, or, when that is null or empty,
// a new file in the system's temporary folder named after a counter that
// grows with every call (plus a unique part, so that no file of another
// program is ever taken over). path receives its name; null when it cannot
// be made.
FILE* openTemporary(const char* tmpname, std::string& path) {
    static int counter = 0;
    ++counter;
    if (tmpname != nullptr && tmpname[0] != '\0') {
        path = tmpname;
        return std::fopen(tmpname, "wb");
    }
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) {
        folder = "/tmp";
    }
    std::string pattern = (folder / ("tmpfilemp3" + std::to_string(counter) + "-XXXXXX.wav")).string();
    const int descriptor = ::mkstemps(pattern.data(), 4);
    if (descriptor < 0) {
        return nullptr;
    }
    path = pattern;
    FILE* file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        ::close(descriptor);
        std::remove(path.c_str());
    }
    return file;
}

// Loads name through a temporary file; the wave's handle or -1.
int loadThroughFile(const char* name, const char* tmpname) {
    const FileBytes file = readFileBytes(name, MAD_BUFFER_GUARD);
    // A temporary name that is the MP3 itself would destroy it.
    if (file.size == 0 || (tmpname != nullptr && tmpname[0] != '\0' && sameFile(name, tmpname))) {
        return -1;
    }
    std::string path;
    FILE* temporary = openTemporary(tmpname, path);
    if (temporary == nullptr) {
        return -1;
    }
    FileSink sink(temporary, FBS_GET_PLUGCHANNELS());
    decodeMp3(file, sink);
    int wave = -1;
    if (sink.finish()) {
        FBS_LOAD_WAVFILE(path.c_str(), &wave);
    }
    std::remove(path.c_str());
    return wave;
}

// Loads name through a memory image of imagesize bytes; the wave's handle
// or -1.
int loadThroughImage(const char* name, int imagesize, int report) {
    const FileBytes file = readFileBytes(name, MAD_BUFFER_GUARD);
    if (file.size == 0) {
        return -1;
    }
    const int size = std::max(std::min(imagesize, kLargestImage), kSmallestImage);
    const std::unique_ptr<uint8_t, FileBytes::Free> image(static_cast<uint8_t*>(allocateZeroed(static_cast<size_t>(size))));
    if (image == nullptr) {
        return -1;
    }
    ImageSink sink(image.get(), static_cast<size_t>(size), FBS_GET_PLUGCHANNELS());
    const bool decoded = decodeMp3(file, sink);
    if (report != 0) {
        std::printf("mp3short wav size=%zu  %s\n", sink.used(), name);
        if (sink.full()) {
            std::printf("warning mp3 file truncated :%s\n", name);
        }
        std::fflush(stdout);
    }
    int wave = -1;
    if (decoded) {
        FBS_LOAD_WAVFILE_SHORT(image.get(), &wave);
    }
    return wave;
}

bool ready(int* wave, const char* name) {
    if (wave == nullptr) {
        return false;
    }
    *wave = -1;
    return engineInitialised() && name != nullptr;
}

}  // namespace

}  // namespace korvane::engine

extern "C" {

FBS_API int FBS_LOAD_MP3FILE(const char* name, int* wave, const char* tmpname) {
    using namespace korvane::engine;
    if (!ready(wave, name)) {
        return 0;
    }
    *wave = loadThroughFile(name, tmpname);
    return *wave >= 0 ? 1 : 0;
}

FBS_API int FBS_LOAD_MP3FILE_SHORT(const char* name, int* wave, int imagesize, int report) {
    using namespace korvane::engine;
    if (!ready(wave, name)) {
        return 0;
    }
    *wave = loadThroughImage(name, imagesize, report);
    return *wave >= 0 ? 1 : 0;
}

}  // extern "C"
