// Fuzz target: any bytes as an MP3 file through the stream decoder on the
// host-driven output, as the player plays a track: create, play, pull
// buffers until the stream has ended. The stream must end within the most
// output its bytes could hold; a pull that never returns shows as a
// libFuzzer timeout. The output format follows the input's length, so every
// conversion path is reached; the last byte sets the stream's volume and pan.
#include <cstdint>
#include <string>

#include "engine/fbs.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using korvane::fuzz::check;

struct Format {
    int rate;
    int channels;
};
constexpr Format kFormats[] = {{44100, 2}, {44100, 1}, {48000, 2}, {22050, 1}};
constexpr int kFrames = 600;

// Longer inputs are not played: their output alone would take seconds.
constexpr std::size_t kLargestInput = 64 * 1024;
// Output frames an input byte can give at most: the longest frame (576
// samples at 8 kHz, 3456 frames at 48 kHz) from the shortest (at least 16
// bytes).
constexpr std::size_t kFramesPerByte = 3456 / 16;

void useFormat(const Format& format) {
    static const Format* current = nullptr;
    if (current == &format) return;
    FBS_EXIT();
    FBS_USE_HOSTOUTPUT(1);
    check(FBS_INIT(format.rate, format.channels, 3, kFrames, 0) == 1, "mp3_stream", "the engine did not start");
    current = &format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kLargestInput) return 0;
    const Format& format = kFormats[size % (sizeof kFormats / sizeof kFormats[0])];
    useFormat(format);
    static const korvane::fuzz::TemporaryFile input("stream", ".mp3");
    input.write(data, size);

    check(FBS_CREATE_MP3STREAM(input.path().c_str()) == 1, "mp3_stream", "the stream was not created");
    const std::uint8_t last = size > 0 ? data[size - 1] : 0;
    check(FBS_PLAY_MP3STREAM(static_cast<float>(last & 15) / 7.5f, static_cast<float>((last >> 4) - 8) / 8.0f) == 1,
          "mp3_stream", "the stream does not play");

    const std::size_t pullLimit = 4 + size * kFramesPerByte / kFrames;
    const int bufferBytes = 2 * format.channels * kFrames;
    std::size_t pulls = 0;
    while (FBS_GET_PLAYINGSTREAMS() > 0 || pulls == 0) {
        check(pulls <= pullLimit, "mp3_stream",
              "the stream still plays after " + std::to_string(pulls) + " buffers from " + std::to_string(size) +
                  " bytes");
        const void* buffer = nullptr;
        check(FBS_HOST_PULLBUFFER(&buffer) == bufferBytes && buffer != nullptr, "mp3_stream",
              "a pull gave no whole buffer");
        ++pulls;
    }
    check(FBS_END_MP3STREAM() == 1, "mp3_stream", "the stream did not end");
    return 0;
}
