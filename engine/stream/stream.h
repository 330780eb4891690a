// The MP3 stream: one file at a time, decoded by libmad on a thread of its
// own, converted to the output format and written into a ring that the mixer
// drains one output buffer (B bytes) per fill call.
//
// Threads: the main thread (the FBS_ calls) sets the stream up and ends it;
// the decoder thread writes the ring at writepos and adds to avail; the
// output thread (mixer) reads whole buffers at readpos, subtracts from avail
// and clears active when the stream has drained. avail is the hand-over
// counter: published with release, read with acquire. The ring and the
// other buffers belong to the main thread while no stream is active.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "engine/fbs.h"
#include "engine/mixer/mixer.h"

namespace korvane::engine {

// File data read per refill; libmad needs MAD_BUFFER_GUARD zero bytes after
// the last data of a file.
inline constexpr int kInputBytes = 8192;
// Samples per channel of the longest frame libmad decodes.
inline constexpr int kMaxFrameSamples = 1152;
// The lowest MPEG sample rate (MPEG 2.5 at 8 kHz): its frames last longest
// and so convert to the most output bytes.
inline constexpr int kLowestMpegRate = 8000;
// Room of the conversion buffer, in samples per channel.
inline constexpr int kConvSamples = 4608;

struct StreamState {
    std::atomic<int> active{0};    // from creation until drained or ended
    std::atomic<int> decoding{0};  // the decoder runs its loop; clearing it asks it to stop
    std::atomic<int> started{0};   // the decoder thread has begun; it never clears this
    std::atomic<int> avail{0};     // bytes decoded into the ring, not yet taken by the mixer
    std::atomic<int> held{0};      // 1: the mixer takes nothing, the stream waits where it is

    std::atomic<FBS_CALLBACK> streamcallback{nullptr};  // kept from one stream to the next
    std::atomic<int> streamcallbackenabled{0};
    std::atomic<float> volume{1.0f};  // 0.0 or 0.0001..2.0
    std::atomic<float> pan{0.0f};     // -1..1
    std::atomic<float> leftgain{1.0f};
    std::atomic<float> rightgain{1.0f};
    std::atomic<uint8_t*> readpos{nullptr};  // ringstart + a multiple of B

    // Buffers, allocated by the first stream that finds them missing or made
    // for another output format, freed by FBS_EXIT.
    uint8_t* inputbuffer = nullptr;  // kInputBytes + MAD_BUFFER_GUARD
    uint8_t* convbuffer = nullptr;   // one converted frame: 2 x channels x kConvSamples
    uint8_t* outbuffer = nullptr;    // B + kMixBufferSlack: the stream's source for the mixer
    uint8_t* ringstart = nullptr;
    uint8_t* ringend = nullptr;
    // The format the buffers were made for.
    int buffersize = 0;  // B
    int channels = 0;
    int rate = 0;
    // The ring holds ringsize bytes, a multiple of B large enough that the
    // longest frame at the lowest MPEG rate fits behind less than one buffer.
    // The decoder keeps at most filllimit bytes ahead (3 x B; the whole ring
    // on the host-driven output), except that it always writes a frame while
    // fewer than B bytes wait, so it never waits for room that cannot come.
    int ringsize = 0;
    int filllimit = 0;

    // The decoder thread's own while it runs; the main thread's otherwise.
    uint8_t* writepos = nullptr;
    int fileno = -1;       // the open file, -1 when closed
    int64_t fileleft = 0;  // bytes of the file not yet read
    std::thread thread;

    // Wakes a side waiting for the other: the decoder waiting for room, a
    // host-driven pull waiting for decoded data. Waits last at most 1 ms; the
    // output thread of a plug-out never touches these.
    std::mutex waitLock;
    std::condition_variable progress;
    std::atomic<int> waiters{0};  // sides inside a wait
};

extern StreamState stream;

// Decoder thread body (started by FBS_PLAY_MP3STREAM).
void runDecoder();

// Host's pulling thread: waits, 1 ms at a time, while the stream is active,
// not held and still decoding and fewer than buffersize bytes are ready, so
// a pull never gives silence that the real-time output would not.
void waitForDecodedBuffer(int buffersize);
// Decoder, main or host's pulling thread (never a plug-out's output thread):
// wakes a side waiting for the other after avail or decoding changed.
void signalProgress();

// Main thread: frees the stream's buffers. Only with no stream active.
void freeStreamBuffers();

}  // namespace korvane::engine
