// The decoder thread: reads the stream's file in blocks, decodes frames with
// libmad, converts each to the output format and writes it into the ring.
#include <mad.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "engine/plugout/engine_state.h"
#include "engine/stream/stream.h"

namespace korvane::engine {

namespace {

// Hands libmad the next block of the file behind the unconsumed tail of the
// last one. False when decoding should end as at the end of the file: the
// file is read and libmad wants more, or the buffer is full of data libmad
// cannot get past.
bool refill(mad_stream& input) {
    StreamState& s = stream;
    size_t tail = 0;
    if (input.next_frame != nullptr) {
        tail = static_cast<size_t>(input.bufend - input.next_frame);
        std::memmove(s.inputbuffer, input.next_frame, tail);
    }
    if (s.fileleft == 0 || tail >= static_cast<size_t>(kInputBytes)) {
        return false;
    }
    const size_t wanted = std::min<int64_t>(kInputBytes - static_cast<int64_t>(tail), s.fileleft);
    ssize_t got;
    do {
        got = ::read(s.fileno, s.inputbuffer + tail, wanted);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        s.fileleft -= got;
    } else {
        // The file ended early or cannot be read: what is buffered is all.
        s.fileleft = 0;
        got = 0;
    }
    size_t length = tail + static_cast<size_t>(got);
    if (s.fileleft == 0) {
        std::memset(s.inputbuffer + length, 0, MAD_BUFFER_GUARD);
        length += MAD_BUFFER_GUARD;
    }
    mad_stream_buffer(&input, s.inputbuffer, length);
    input.error = MAD_ERROR_NONE;
    return true;
}

// Waits, 1 ms at a time, until framebytes more fit. While fewer than one
// buffer's bytes wait the mixer can take nothing, so the frame is written at
// once (the ring is sized for it); otherwise the decoder stays within the
// fill limit. False when asked to stop meanwhile.
bool waitForRoom(int framebytes) {
    StreamState& s = stream;
    // acquire on avail: the mixer has finished reading what it took.
    const auto roomOrStop = [framebytes] {
        const int avail = stream.avail.load(std::memory_order_acquire);
        return stream.decoding.load(std::memory_order_acquire) == 0 || avail < stream.buffersize ||
               avail + framebytes <= stream.filllimit;
    };
    if (!roomOrStop()) {
        std::unique_lock<std::mutex> lock(s.waitLock);
        s.waiters.fetch_add(1, std::memory_order_seq_cst);
        while (!roomOrStop()) {
            s.progress.wait_for(lock, std::chrono::milliseconds(1));
        }
        s.waiters.fetch_sub(1, std::memory_order_relaxed);
    }
    return s.decoding.load(std::memory_order_acquire) != 0;
}

// Converts one synthesised frame into the ring at writepos; returns the
// bytes written.
int convertFrame(const mad_pcm& pcm) {
    StreamState& s = stream;
    const MixPrimitives& mix = engine.mix;
    if (s.active.load(std::memory_order_relaxed) == 0 || pcm.length == 0) {
        return 0;
    }
    if (pcm.channels == 2) {
        mix.scaleMp3Stereo(s.convbuffer, pcm.samples[0], pcm.samples[1], pcm.length);
    } else {
        mix.scaleMp3Mono(s.convbuffer, pcm.samples[0], pcm.length);
    }
    const int framesize = 2 * s.channels;
    int framebytes = pcm.length * framesize;
    void* writepos = s.writepos;
    if (pcm.samplerate == static_cast<unsigned>(s.rate)) {
        if (!waitForRoom(framebytes)) {
            return 0;
        }
        COPYMP3FRAME(s.ringstart, &writepos, s.ringend, s.convbuffer, framebytes);
    } else {
        // No interpolation: output frame k repeats source frame floor(k x ratio).
        const float ratio = static_cast<float>(pcm.samplerate) / static_cast<float>(s.rate);
        framebytes = static_cast<int>(std::lround(static_cast<float>(framebytes) * (1.0f / ratio)));
        framebytes -= framebytes % framesize;
        if (!waitForRoom(framebytes)) {
            return 0;
        }
        mix.copySliceMp3Frame(s.ringstart, &writepos, s.ringend, s.convbuffer, ratio, framebytes);
    }
    s.writepos = static_cast<uint8_t*>(writepos);
    return framebytes;
}

// Fills the ring up to a whole number of buffers with zeros, so that the
// mixer takes the last part as a whole buffer. The mixer takes exactly B
// bytes at a time, so avail mod B does not change under it.
void padLastBuffer() {
    StreamState& s = stream;
    const int avail = s.avail.load(std::memory_order_acquire);
    const int rest = avail % s.buffersize;
    if (avail > 0 && rest != 0) {
        const int padding = s.buffersize - rest;
        void* writepos = s.writepos;
        ZEROBUFFER(s.ringstart, &writepos, s.ringend, padding);
        s.writepos = static_cast<uint8_t*>(writepos);
        s.avail.fetch_add(padding, std::memory_order_release);
    }
}

}  // namespace

void runDecoder() {
    StreamState& s = stream;
    s.decoding.store(1, std::memory_order_relaxed);
    s.started.store(1, std::memory_order_release);

    mad_stream input;
    mad_frame frame;
    mad_synth synth;
    mad_stream_init(&input);
    mad_frame_init(&frame);
    mad_synth_init(&synth);
    while (s.decoding.load(std::memory_order_acquire) != 0) {
        if (input.buffer == nullptr || input.error == MAD_ERROR_BUFLEN) {
            if (!refill(input)) {
                break;
            }
        }
        if (mad_frame_decode(&frame, &input) != 0) {
            if (MAD_RECOVERABLE(input.error) || input.error == MAD_ERROR_BUFLEN) {
                continue;
            }
            break;
        }
        mad_synth_frame(&synth, &frame);
        const int bytes = convertFrame(synth.pcm);
        if (bytes > 0) {
            // A waiting pull is woken once half the fill limit is ready, not
            // for every frame: fewer wake-ups, and a pull finds several
            // buffers at once.
            if (s.avail.fetch_add(bytes, std::memory_order_release) + bytes >= s.filllimit / 2) {
                signalProgress();
            }
        }
    }
    mad_synth_finish(&synth);
    mad_frame_finish(&frame);
    mad_stream_finish(&input);
    ::close(s.fileno);
    s.fileno = -1;
    // The padding and the end follow each other at once: the mixer ends the
    // stream in the call that takes its last buffer.
    padLastBuffer();
    s.decoding.store(0, std::memory_order_release);
    signalProgress();
}

}  // namespace korvane::engine
