// The WAV reader and the conversion of its samples to a wave.
//
// Conversion: each source sample becomes a float, 8-bit ones as
// (value - 128) / 256 and 16-bit ones as value / 65535, so a full-scale
// source reaches about half of full scale; each output frame is written as
// round(32767 x left), round(32767 x right) for stereo output, and as the
// rounded sum of both channels times 16383.5 (when frames are dropped) or
// 16383 (otherwise) for mono output. Resampling picks whole source frames
// with an accumulator: dropping frames walks the source, repeating frames
// walks the output.
#include "engine/sounds/wav_reader.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "engine/plugout/engine_state.h"
#include "engine/sounds/sounds.h"

namespace korvane::engine {

namespace {

// A canonical header's length; a file must be longer.
constexpr size_t kCanonicalHeaderBytes = 44;
// Bytes of the format fields after "fmt " and its chunk size: format,
// channels, sample rate, byte rate, block align, bits per sample.
constexpr size_t kFormatFieldBytes = 16;
constexpr double kEightBitScale = 0.00390625;
constexpr double kSixteenBitScale = 1.5259254723787308e-05;

uint16_t readLe16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t readLe32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// Offset of the first tag at from or later that lies whole inside length
// bytes; length when there is none.
size_t findTag(const uint8_t* bytes, size_t length, size_t from, const char (&tag)[5]) {
    for (size_t at = from; at + 4 <= length; ++at) {
        if (std::memcmp(bytes + at, tag, 4) == 0) {
            return at;
        }
    }
    return length;
}

// Half away from zero; every value here lies well inside -32768..32767.
int16_t roundSample(double value) {
    return static_cast<int16_t>(value < 0.0 ? value - 0.5 : value + 0.5);
}

// The output frame made of one source frame.
template <bool EightBit, int OutChannels>
struct FrameMaker {
    const uint8_t* data;
    int blockalign;
    int secondChannelOffset;  // 0 for a mono source: its one sample feeds both sides
    double monoGain;          // 16383.5 when frames are dropped, else 16383

    double sample(const uint8_t* at) const {
        if constexpr (EightBit) {
            return (static_cast<int>(at[0]) - 128) * kEightBitScale;
        } else {
            return static_cast<int16_t>(readLe16(at)) * kSixteenBitScale;
        }
    }

    void write(int64_t sourceFrame, int16_t* out) const {
        const uint8_t* frame = data + sourceFrame * blockalign;
        const double left = sample(frame);
        const double right = sample(frame + secondChannelOffset);
        if constexpr (OutChannels == 2) {
            out[0] = roundSample(32767.0 * left);
            out[1] = roundSample(32767.0 * right);
        } else {
            out[0] = roundSample(monoGain * left + monoGain * right);
        }
    }
};

// Fewer output frames than source frames (m < n): the accumulator grows by
// the output-to-source ratio per source frame; output frame floor(acc) comes
// from the first source frame that reaches it. Never writes at or past m.
template <typename Maker, int OutChannels>
void dropFrames(const Maker& maker, int64_t n, double outPerSource, int16_t* out, int64_t m) {
    double accumulator = 0.0;
    int64_t next = 0;
    for (int64_t i = 0; i < n && next < m; ++i) {
        const auto frame = static_cast<int64_t>(accumulator);
        if (frame >= next) {
            if (frame >= m) {
                break;
            }
            maker.write(i, out + frame * OutChannels);
            next = frame + 1;
        }
        accumulator += outPerSource;
    }
}

// As many output frames as source frames or more (m >= n): the accumulator
// grows by the source-to-output ratio per output frame; the source moves one
// frame on whenever its integer part changes, and the walk stops when that
// reaches n.
template <typename Maker, int OutChannels>
void repeatFrames(const Maker& maker, int64_t n, double sourcePerOut, int16_t* out, int64_t m) {
    double accumulator = 0.0;
    int64_t source = 0;
    int64_t whole = 0;
    for (int64_t k = 0; k < m; ++k) {
        maker.write(source, out + k * OutChannels);
        accumulator += sourcePerOut;
        const auto reached = static_cast<int64_t>(accumulator);
        if (reached >= n) {
            break;
        }
        if (reached != whole) {
            whole = reached;
            ++source;
        }
    }
}

template <bool EightBit, int OutChannels>
void convertFrames(const WavSource& source, double ratio, int16_t* out, int64_t m) {
    const int sampleBytes = EightBit ? 1 : 2;
    const FrameMaker<EightBit, OutChannels> maker{source.data, source.blockalign,
                                                  source.channels > 1 ? sampleBytes : 0,
                                                  m < source.frames ? 16383.5 : 16383.0};
    if (m < source.frames) {
        dropFrames<decltype(maker), OutChannels>(maker, source.frames, 1.0 / ratio, out, m);
    } else {
        repeatFrames<decltype(maker), OutChannels>(maker, source.frames, ratio, out, m);
    }
}

}  // namespace

bool findWavSource(const uint8_t* begin, const uint8_t* end, WavSource& source) {
    if (begin == nullptr || end == nullptr || end <= begin) {
        return false;
    }
    const auto length = static_cast<size_t>(end - begin);
    if (length <= kCanonicalHeaderBytes || std::memcmp(begin, "RIFF", 4) != 0 ||
        std::memcmp(begin + 8, "WAVE", 4) != 0) {
        return false;
    }
    const size_t fmt = findTag(begin, length, 12, "fmt ");
    if (fmt + 8 + kFormatFieldBytes > length) {
        return false;
    }
    const uint8_t* fields = begin + fmt + 8;
    if (readLe32(begin + fmt + 4) < kFormatFieldBytes || readLe16(fields) != 1) {
        return false;
    }
    const int channels = readLe16(fields + 2);
    const uint32_t rate = readLe32(fields + 4);
    const int blockalign = readLe16(fields + 12);
    const int bits = readLe16(fields + 14);
    const int sampleBytes = bits == 8 ? 1 : 2;
    if (channels == 0 || rate == 0 || blockalign < channels * sampleBytes) {
        return false;
    }

    const size_t data = findTag(begin, length, fmt + 8 + kFormatFieldBytes, "data");
    if (data + 8 > length) {
        return false;
    }
    const uint32_t claimed = readLe32(begin + data + 4);
    const size_t present = length - (data + 8);
    const size_t bytes = claimed < present ? claimed : present;
    if (claimed == 0 || bytes < static_cast<size_t>(blockalign)) {
        return false;
    }
    source.channels = channels;
    source.rate = rate;
    source.blockalign = blockalign;
    source.bits = bits;
    source.data = begin + data + 8;
    source.frames = static_cast<int64_t>(bytes / static_cast<size_t>(blockalign));
    return true;
}

int64_t convertedFrames(const WavSource& source, int outRate) {
    const double ratio = static_cast<double>(source.rate) / outRate;
    const double frames = std::round(static_cast<double>(source.frames) * (1.0 / ratio));
    return frames >= 1.0 && frames <= INT32_MAX ? static_cast<int64_t>(frames) : 0;
}

bool convertWav(const WavSource& source, int outRate, int outChannels, uint8_t*& samples, int64_t& size) {
    const int64_t m = convertedFrames(source, outRate);
    if (m == 0) {
        return false;
    }
    const int64_t bytes = m * 2 * outChannels;
    auto* out = static_cast<int16_t*>(allocateZeroed(static_cast<size_t>(bytes)));
    if (out == nullptr) {
        return false;
    }
    const double ratio = static_cast<double>(source.rate) / outRate;
    const bool eightBit = source.bits == 8;
    if (outChannels == 2) {
        (eightBit ? convertFrames<true, 2> : convertFrames<false, 2>)(source, ratio, out, m);
    } else {
        (eightBit ? convertFrames<true, 1> : convertFrames<false, 1>)(source, ratio, out, m);
    }
    samples = reinterpret_cast<uint8_t*>(out);
    size = bytes;
    return true;
}

int loadWav(const uint8_t* begin, const uint8_t* end) {
    const PlugoutRecord* record = plugoutInUse();
    WavSource source;
    uint8_t* samples = nullptr;
    int64_t size = 0;
    if (record == nullptr || !findWavSource(begin, end, source) ||
        !convertWav(source, record->rate, record->channels, samples, size)) {
        return -1;
    }
    return storeWave(samples, size);
}

}  // namespace korvane::engine
