// The stream's FBS_ functions: create, play, end, volume, pan and the
// buffer query. Main thread only.
#include "engine/stream/stream.h"

#include <fcntl.h>
#include <mad.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "engine/mixer/mixer.h"
#include "engine/mixer/source_gains.h"
#include "engine/plugout/engine_state.h"
#include "engine/plugout/written_memory.h"
#include "engine/stream/id3v2_tag.h"

namespace korvane::engine {

StreamState stream;

namespace {

bool streamActive() {
    return stream.active.load(std::memory_order_acquire) != 0;
}

void closeFile() {
    if (stream.fileno >= 0) {
        ::close(stream.fileno);
        stream.fileno = -1;
    }
}

// Joins a decoder left from the last stream, whatever active says.
void joinDecoder() {
    if (stream.thread.joinable()) {
        stream.decoding.store(0, std::memory_order_release);
        signalProgress();
        stream.thread.join();
    }
}

// Ring size for output buffers of buffersize bytes: room for the output bytes
// of the longest frame at the lowest MPEG rate behind less than one buffer,
// and never less than three buffers. On the host-driven output, where
// nothing plays in real time, at least half a second, so that the decoder
// and the pulls hand over in large batches. 0 when it would not fit an int.
int64_t ringBytes(int buffersize, int channels, int rate) {
    const int64_t framesize = 2 * static_cast<int64_t>(channels);
    const int64_t longestFrame =
        (static_cast<int64_t>(kMaxFrameSamples) * rate / kLowestMpegRate + 1) * framesize;
    int64_t buffers = std::max<int64_t>(3, (longestFrame + buffersize - 1) / buffersize + 1);
    if (engine.hostoutput) {
        const int64_t halfSecond = static_cast<int64_t>(rate) * framesize / 2;
        buffers = std::max(buffers, (halfSecond + buffersize - 1) / buffersize);
    }
    const int64_t bytes = buffers * buffersize;
    return bytes > INT32_MAX ? 0 : bytes;
}

// Pages written here, on the main thread: the mixer writes outbuffer, and
// neither it nor the decoder meets an untouched page of the ring.
uint8_t* allocateZeroed(int64_t bytes) {
    return static_cast<uint8_t*>(callocWritten(static_cast<size_t>(bytes)));
}

// Makes the four buffers fit the output format; false (and no buffers) when
// an allocation fails.
bool prepareBuffers(const PlugoutRecord& record) {
    StreamState& s = stream;
    const int64_t ringsize = ringBytes(record.buffersize, record.channels, record.rate);
    if (ringsize == 0) {
        return false;
    }
    if (s.buffersize != record.buffersize || s.channels != record.channels || s.rate != record.rate) {
        freeStreamBuffers();
    }
    if (s.inputbuffer == nullptr) {
        s.inputbuffer = allocateZeroed(kInputBytes + MAD_BUFFER_GUARD);
    }
    if (s.convbuffer == nullptr) {
        s.convbuffer = allocateZeroed(2 * static_cast<int64_t>(record.channels) * kConvSamples);
    }
    if (s.outbuffer == nullptr) {
        s.outbuffer = allocateZeroed(static_cast<int64_t>(record.buffersize) + kMixBufferSlack);
    }
    if (s.ringstart == nullptr) {
        s.ringstart = allocateZeroed(ringsize);
        s.ringend = s.ringstart == nullptr ? nullptr : s.ringstart + ringsize;
    }
    if (s.inputbuffer == nullptr || s.convbuffer == nullptr || s.outbuffer == nullptr || s.ringstart == nullptr) {
        freeStreamBuffers();
        return false;
    }
    s.buffersize = record.buffersize;
    s.channels = record.channels;
    s.rate = record.rate;
    s.ringsize = static_cast<int>(ringsize);
    // Nothing plays in real time on the host-driven output: there the
    // decoder may fill the whole ring instead of waiting for each pull.
    s.filllimit = engine.hostoutput ? s.ringsize : 3 * record.buffersize;
    return true;
}

// Bytes to step over at the file's start: a leading ID3v2 tag that fits
// the file, else nothing.
int64_t tagBytesAtStart(int file, int64_t length) {
    unsigned char header[kId3v2HeaderBytes];
    if (::pread(file, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
        return 0;
    }
    return korvane::engine::leadingTagBytes(header, length);
}

}  // namespace

void freeStreamBuffers() {
    StreamState& s = stream;
    std::free(s.inputbuffer);
    std::free(s.convbuffer);
    std::free(s.outbuffer);
    std::free(s.ringstart);
    s.inputbuffer = s.convbuffer = s.outbuffer = s.ringstart = s.ringend = nullptr;
    s.buffersize = s.channels = s.rate = s.ringsize = s.filllimit = 0;
}

void waitForDecodedBuffer(int buffersize) {
    StreamState& s = stream;
    const auto mustWait = [buffersize] {
        return stream.active.load(std::memory_order_acquire) != 0 &&
               stream.held.load(std::memory_order_acquire) == 0 &&
               stream.decoding.load(std::memory_order_acquire) != 0 &&
               stream.avail.load(std::memory_order_acquire) < buffersize;
    };
    if (!mustWait()) {
        return;
    }
    std::unique_lock<std::mutex> lock(s.waitLock);
    s.waiters.fetch_add(1, std::memory_order_seq_cst);
    while (mustWait()) {
        s.progress.wait_for(lock, std::chrono::milliseconds(1));
    }
    s.waiters.fetch_sub(1, std::memory_order_relaxed);
}

void signalProgress() {
    // Without a waiter this costs one load. A waiter raises the count before
    // its first check, and taking the lock puts this notification after a
    // wait that has begun; a wake-up missed all the same costs one 1 ms wait.
    if (stream.waiters.load(std::memory_order_seq_cst) == 0) {
        return;
    }
    { std::lock_guard<std::mutex> lock(stream.waitLock); }
    stream.progress.notify_all();
}

}  // namespace korvane::engine

using korvane::engine::stream;
using korvane::engine::streamActive;

extern "C" {

FBS_API int FBS_CREATE_MP3STREAM(const char* name) {
    using namespace korvane::engine;
    const PlugoutRecord* record = plugoutInUse();
    if (!engineInitialised() || record == nullptr || streamActive() ||
        name == nullptr) {
        return 0;
    }
    joinDecoder();
    const int file = ::open(name, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return 0;
    }
    // Only a regular file has a length; a folder or a pipe is refused.
    struct stat info {};
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode) || !prepareBuffers(*record)) {
        ::close(file);
        return 0;
    }
    int64_t tag = tagBytesAtStart(file, info.st_size);
    if (tag > 0 && ::lseek(file, tag, SEEK_SET) != tag) {
        ::lseek(file, 0, SEEK_SET);
        tag = 0;
    }
    StreamState& s = stream;
    s.fileno = file;
    s.fileleft = info.st_size - tag;
    s.decoding.store(0, std::memory_order_relaxed);
    s.started.store(0, std::memory_order_relaxed);
    s.avail.store(0, std::memory_order_relaxed);
    s.held.store(0, std::memory_order_relaxed);
    s.volume.store(1.0f, std::memory_order_relaxed);
    s.pan.store(0.0f, std::memory_order_relaxed);
    s.leftgain.store(1.0f, std::memory_order_relaxed);
    s.rightgain.store(1.0f, std::memory_order_relaxed);
    s.writepos = s.ringstart;
    s.readpos.store(s.ringstart, std::memory_order_relaxed);
    s.active.store(1, std::memory_order_release);
    return 1;
}

FBS_API int FBS_PLAY_MP3STREAM(float volume, float pan) {
    using namespace korvane::engine;
    // A stream is decoded once: while or after its decoder runs, play refuses
    // and leaves the stream alone.
    if (!streamActive() || stream.thread.joinable()) {
        return 0;
    }
    FBS_SET_STREAMVOLUME(volume);
    FBS_SET_STREAMPAN(pan);
    try {
        stream.thread = std::thread(runDecoder);
        pthread_setname_np(stream.thread.native_handle(), "korvane-decode");
    } catch (...) {
        return 0;
    }
    // The mark, not decoding: an empty file may set and clear decoding
    // before this loop first looks.
    while (stream.started.load(std::memory_order_acquire) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 1;
}

FBS_API int FBS_END_MP3STREAM(void) {
    using namespace korvane::engine;
    joinDecoder();
    if (!streamActive()) {
        return 1;
    }
    stream.active.store(0, std::memory_order_seq_cst);
    waitForFillCalls();
    stream.held.store(0, std::memory_order_relaxed);
    // A decoder that ran has closed the file itself.
    if (stream.started.load(std::memory_order_relaxed) == 0) {
        closeFile();
    }
    return 1;
}

FBS_API int FBS_PAUSE_MP3STREAM(int hold) {
    if (!streamActive()) {
        return 0;
    }
    stream.held.store(hold != 0 ? 1 : 0, std::memory_order_release);
    return 1;
}

FBS_API int FBS_SET_STREAMVOLUME(float volume) {
    if (!streamActive()) {
        return 0;
    }
    stream.volume.store(korvane::engine::clampVolume(volume), std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_STREAMVOLUME(float* volume) {
    if (!streamActive() || volume == nullptr) {
        return 0;
    }
    *volume = stream.volume.load(std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_SET_STREAMPAN(float pan) {
    if (!streamActive()) {
        return 0;
    }
    korvane::engine::storePan(stream, korvane::engine::clampPan(pan));
    return 1;
}

FBS_API int FBS_GET_STREAMPAN(float* pan) {
    if (pan == nullptr || !streamActive()) {
        return 0;
    }
    *pan = stream.pan.load(std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_STREAMBUFFER(void** buffer, int* channels, int* frames) {
    if (!streamActive() || buffer == nullptr || channels == nullptr || frames == nullptr) {
        return 0;
    }
    *buffer = stream.readpos.load(std::memory_order_relaxed);
    *channels = stream.channels;
    *frames = stream.buffersize >> stream.channels;
    return 1;
}

}  // extern "C"
