#include "plugouts/plugout_output.h"

#include <cstdlib>

#include "engine/plugout/plugout_text.h"

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
    buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(engineRecord.buffersize)));
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
    try {
        thread = new std::thread(loop);
    } catch (...) {
        running.store(false, std::memory_order_release);
        fail("cannot start the output thread");
        return false;
    }
    return true;
}

void PlugoutOutput::stopThread() {
    if (thread == nullptr) {
        return;
    }
    running.store(false, std::memory_order_release);
    thread->join();
    delete thread;
    thread = nullptr;
}

}  // namespace korvane::plugouts
