#include "plugouts/plugout_output.h"

#include <pthread.h>

#include <chrono>
#include <cstdlib>

#include "engine/plugout/plugout_text.h"
#include "engine/plugout/written_memory.h"

namespace korvane::plugouts {

using korvane::engine::writeText;

void PlugoutOutput::fail(const char* what) {
    const std::string text = std::string(prefix) + ": " + what;
    writeText(error, text.c_str());
}

void PlugoutOutput::fail(const char* what, const char* reason) {
    const std::string text = std::string(prefix) + " " + what + ": " + reason;
    writeText(error, text.c_str());
}

bool PlugoutOutput::allocateBuffer(PlugoutRecord& engineRecord) {
    engineRecord.framesize = 2 * engineRecord.channels;
    engineRecord.buffersize = engineRecord.frames * engineRecord.framesize;
    engineRecord.issigned = 1;
    // The engine writes it in every fill call: its pages are written here.
    buffer = static_cast<uint8_t*>(korvane::engine::callocWritten(static_cast<size_t>(engineRecord.buffersize)));
    if (buffer == nullptr) {
        fail("no memory for the output buffer");
        return false;
    }
    return true;
}

void PlugoutOutput::ready(PlugoutRecord& engineRecord, const char* name, const std::string& device) {
    writeText(engineRecord.name, name);
    writeText(engineRecord.device, device.c_str());
    engineRecord.buffer = buffer;
    record = &engineRecord;
    writeText(error, "");
}

void PlugoutOutput::releaseBuffer() {
    std::free(buffer);
    buffer = nullptr;
    record = nullptr;
}

bool PlugoutOutput::startThread(void (*loop)()) {
    running.store(true, std::memory_order_release);
    active.store(true, std::memory_order_relaxed);
    try {
        thread = new std::thread([this, loop] {
            loop();
            active.store(false, std::memory_order_release);
        });
        pthread_setname_np(thread->native_handle(), outputThreadName);
    } catch (...) {
        running.store(false, std::memory_order_release);
        active.store(false, std::memory_order_relaxed);
        fail("cannot start the output thread");
        return false;
    }
    return true;
}

bool PlugoutOutput::stopThread() {
    if (thread == nullptr) {
        return true;
    }
    if (!stopFills()) {
        return false;
    }
    thread->join();
    delete thread;
    thread = nullptr;
    return true;
}

// With stopFills, sequentially consistent on both flags: either the callback
// sees the stop request, or the stop sees the callback active and waits.
bool PlugoutOutput::beginCallback() {
    active.store(true, std::memory_order_seq_cst);
    if (running.load(std::memory_order_seq_cst)) {
        return true;
    }
    active.store(false, std::memory_order_release);
    return false;
}

bool PlugoutOutput::stopFills() {
    running.store(false, std::memory_order_seq_cst);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(stuck ? stuckWaitMilliseconds : stopWaitMilliseconds);
    while (active.load(std::memory_order_seq_cst)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            stuck = true;
            fail("the output thread does not stop");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    stuck = false;
    return true;
}

}  // namespace korvane::plugouts
