// Reading a WAV file held in memory (from a file or a memory image) and
// converting its PCM samples to a wave in the output format. The one reader
// behind FBS_LOAD_WAVFILE, FBS_LOAD_WAVFILE_SHORT and, through them, the MP3
// loaders. Main thread.
#pragma once

#include <cstdint>

namespace korvane::engine {

// What the reader found: the format and the samples actually present.
struct WavSource {
    int channels = 0;    // 1 feeds both output channels; beyond 2 the first two are used
    int64_t rate = 0;    // Hz, at least 1
    int blockalign = 0;  // bytes per source frame, covering channels samples
    int bits = 0;        // 8: unsigned bytes; anything else: signed 16-bit little-endian
    const uint8_t* data = nullptr;
    int64_t frames = 0;  // whole frames inside the bytes, at least 1
};

// Reads the WAV in [begin, end): longer than 44 bytes, "RIFF" and "WAVE";
// the first "fmt " from byte 12 on, searched byte by byte, with a chunk size
// of at least 16 and format 1 (PCM); then the first "data" after the format
// fields, with a size above 0. The samples are the data size's worth or, when
// the bytes end sooner, what there is. False when any check fails; nothing
// is read outside [begin, end).
bool findWavSource(const uint8_t* begin, const uint8_t* end, WavSource& source);

// The wave's output frames for n source frames at source rate over output
// rate: round(n x output rate / source rate). 0 when that is below 1 or above
// the most frames a wave may hold (INT32_MAX, as for a created wave).
int64_t convertedFrames(const WavSource& source, int outRate);

// Converts the samples to 16-bit at outRate with outChannels (1 or 2), at
// about half the source's amplitude: nearest-frame resampling, no
// interpolation. The samples come from allocateZeroed; size is in bytes.
// False (nothing allocated) when convertedFrames is 0 or the allocation
// fails.
bool convertWav(const WavSource& source, int outRate, int outChannels, uint8_t*& samples, int64_t& size);

// Reads, converts to the format of the plug-out in use and stores the WAV in
// [begin, end) as a wave; its handle, or -1 when any step fails.
int loadWav(const uint8_t* begin, const uint8_t* end);

}  // namespace korvane::engine
