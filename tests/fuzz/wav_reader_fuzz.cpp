// Fuzz target: the WAV readers on any bytes, from a file (FBS_LOAD_WAVFILE)
// and from a memory image (FBS_LOAD_WAVFILE_SHORT). Both must give the same
// answer and the same wave; a wave must hold whole output frames and play.
// The output format (rate, channels) follows the input's length, so every
// conversion path is reached.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/fbs.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Format {
    int rate;
    int channels;
};
constexpr Format kFormats[] = {{44100, 2}, {44100, 1}, {22050, 2}, {48000, 1}};

void useFormat(const Format& format) {
    static const Format* current = nullptr;
    if (current == &format) {
        return;
    }
    FBS_EXIT();
    FBS_USE_HOSTOUTPUT(1);
    if (FBS_INIT(format.rate, format.channels, 3, 600, 0) != 1) {
        std::abort();
    }
    current = &format;
}

void check(bool condition, const char* what) { korvane::fuzz::check(condition, "wav_reader", what); }

struct Loaded {
    int result = 0;
    uint64_t hash = 0;
    int64_t size = 0;
};

// Checks, plays and destroys the wave just loaded; what it held.
Loaded examine(int result, int wave, const Format& format) {
    Loaded loaded{result, 14695981039346656037u, 0};
    if (result == 0) {
        check(wave == -1, "a failed load left a handle");
        return loaded;
    }
    void* start = nullptr;
    void* end = nullptr;
    check(FBS_GET_WAVEPOINTERS(wave, &start, &end, nullptr) == 1, "a loaded wave has no pointers");
    const auto* bytes = static_cast<const uint8_t*>(start);
    loaded.size = static_cast<const uint8_t*>(end) - bytes;
    check(loaded.size > 0 && loaded.size % (2 * format.channels) == 0, "a wave of no or partial frames");
    for (int64_t i = 0; i < loaded.size; ++i) {
        loaded.hash = (loaded.hash ^ bytes[i]) * 1099511628211u;
    }
    int sound = -1;
    check(FBS_PLAY_WAVE(wave, 2, -1.5f, 0.8f, 0.3f, &sound) == 1, "a loaded wave does not play");
    const void* buffer = nullptr;
    check(FBS_HOST_PULLBUFFER(&buffer) > 0, "no buffer pulled");
    FBS_DESTROY_SOUND(&sound);
    FBS_DESTROY_WAVE(&wave);
    return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Format& format = kFormats[size % (sizeof kFormats / sizeof kFormats[0])];
    useFormat(format);

    static const korvane::fuzz::TemporaryFile input("wav");
    input.write(data, size);
    int wave = 7;
    const int fileResult = FBS_LOAD_WAVFILE(input.path().c_str(), &wave);
    const Loaded fromFile = examine(fileResult, wave, format);

    // The image holds exactly its addresses and the bytes, so that reading
    // past its end is caught.
    std::vector<uint8_t> image(sizeof(FBS_WAVIMAGE) + size);
    std::memcpy(image.data() + sizeof(FBS_WAVIMAGE), data, size);
    const FBS_WAVIMAGE head{image.data() + image.size(), image.data() + image.size()};
    std::memcpy(image.data(), &head, sizeof head);
    wave = 7;
    const int imageResult = FBS_LOAD_WAVFILE_SHORT(image.data(), &wave);
    const Loaded fromImage = examine(imageResult, wave, format);

    check(fromFile.result == fromImage.result && fromFile.size == fromImage.size && fromFile.hash == fromImage.hash,
          "the file and image loaders disagree");
    return 0;
}
