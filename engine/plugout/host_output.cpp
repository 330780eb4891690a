// The host-driven output and its two FBS_ functions. Everything runs on the
// host's thread: the fill call happens inside FBS_HOST_PULLBUFFER.
#include "engine/plugout/host_output.h"

#include <atomic>
#include <cstdlib>

#include "engine/plugout/engine_state.h"
#include "engine/plugout/plugout_text.h"
#include "engine/stream/stream.h"

namespace korvane::engine {

namespace {

struct HostOutput {
    PlugoutRecord* record = nullptr;  // from PLUG_INIT until PLUG_EXIT
    uint8_t* buffer = nullptr;        // the one buffer, record->buffersize bytes
    std::atomic<bool> running{false};
    const char* error = "";
};

HostOutput host;

int hostIsAny(PlugoutRecord* record) {
    writeText(record->name, "host");
    return 1;
}

int hostExit() {
    host.running.store(false, std::memory_order_relaxed);
    std::free(host.buffer);
    host.buffer = nullptr;
    host.record = nullptr;
    return 1;
}

int hostInit(PlugoutRecord* record) {
    hostExit();
    record->framesize = 2 * record->channels;
    record->buffersize = record->frames * record->framesize;
    record->issigned = 1;
    host.buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(record->buffersize)));
    if (host.buffer == nullptr) {
        host.error = "host output: no memory for the output buffer";
        return 0;
    }
    writeText(record->name, "host");
    writeText(record->device, "buffers pulled by the host");
    record->buffer = host.buffer;
    host.record = record;
    host.error = "";
    return 1;
}

int hostStart() {
    if (host.record == nullptr) {
        host.error = "host output: not initialised";
        return 0;
    }
    host.running.store(true, std::memory_order_relaxed);
    return 1;
}

// No thread: once this returns no pull can fill a buffer.
int hostStop() {
    host.running.store(false, std::memory_order_relaxed);
    return 1;
}

const char* hostError() {
    return host.error;
}

}  // namespace

void describeHostOutput(PlugoutRecord& record) {
    record.library = nullptr;
    record.plug_isany = hostIsAny;
    record.plug_init = hostInit;
    record.plug_start = hostStart;
    record.plug_stop = hostStop;
    record.plug_exit = hostExit;
    record.plug_error = hostError;
}

}  // namespace korvane::engine

extern "C" {

FBS_API int FBS_USE_HOSTOUTPUT(int enable) {
    using korvane::engine::engine;
    // The choice is taken at discovery, so it waits for a fresh engine.
    if (engine.initialised.load(std::memory_order_relaxed) != 0 || engine.numofplugouts > 0) {
        return 0;
    }
    engine.hostoutput = enable != 0;
    return 1;
}

FBS_API int FBS_HOST_PULLBUFFER(const void** buffer) {
    using namespace korvane::engine;
    PlugoutRecord* record = host.record;
    if (buffer == nullptr || record == nullptr || !host.running.load(std::memory_order_relaxed)) {
        return 0;
    }
    waitForDecodedBuffer(record->buffersize);
    record->buffer = host.buffer;
    record->fillbuffer(record);
    signalProgress();
    *buffer = host.buffer;
    return record->buffersize;
}

}  // extern "C"
