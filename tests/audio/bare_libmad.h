// libmad alone, as the reference that the engine's decoding is compared with
// in the tests and timed against in the benchmark: a whole MP3 file held in
// memory, each frame decoded and synthesised with nothing else around it.
#pragma once

#include <mad.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace korvane::test {

// The file's bytes followed by the MAD_BUFFER_GUARD zero bytes that libmad
// needs to decode the last frame; just the guard when it cannot be read.
inline std::vector<unsigned char> readForLibmad(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    data.resize(data.size() + MAD_BUFFER_GUARD, 0);
    return data;
}

// Decodes data as readForLibmad gives it and hands each frame's synthesised
// samples to onFrame(const mad_pcm&). A frame with a recoverable error is
// passed over; any other error ends the decoding.
template <typename OnFrame>
void decodeWithLibmad(const std::vector<unsigned char>& data, OnFrame&& onFrame) {
    mad_stream input;
    mad_frame frame;
    mad_synth synth;
    mad_stream_init(&input);
    mad_frame_init(&frame);
    mad_synth_init(&synth);
    mad_stream_buffer(&input, data.data(), data.size());
    for (;;) {
        if (mad_frame_decode(&frame, &input) != 0) {
            if (MAD_RECOVERABLE(input.error)) {
                continue;
            }
            break;
        }
        mad_synth_frame(&synth, &frame);
        onFrame(synth.pcm);
    }
    mad_synth_finish(&synth);
    mad_frame_finish(&frame);
    mad_stream_finish(&input);
}

}  // namespace korvane::test
