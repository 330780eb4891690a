// A plug-out for the engine's tests, built several times into separate
// folders with different behaviour:
//   TESTPLUG_NAME              the name it reports
//   TESTPLUG_REFUSE_ISANY      PLUG_ISANY answers 0
//   TESTPLUG_REFUSE_INIT       PLUG_INIT answers 0
//   TESTPLUG_START_MIN_FRAMES  PLUG_START fails for buffers of fewer frames
//   TESTPLUG_WITHOUT_EXIT      the PLUG_EXIT entry point is missing
//   TESTPLUG_REFUSE_FIRST_STOP the first PLUG_STOP answers 0
//   TESTPLUG_THREADED          PLUG_START runs an output thread calling the
//                              fill function, faster than real time
// Each entry point appends its name to a log that tests read through
// TESTPLUG_LOG.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/plugout/plugout_record.h"
#include "engine/plugout/plugout_text.h"

using korvane::engine::writeText;

namespace {

struct TestOutput {
    PlugoutRecord* record = nullptr;
    uint8_t* buffer = nullptr;
    std::thread* thread = nullptr;
    std::atomic<bool> running{false};
    char log[1024] = "";
};

TestOutput output;

void note(const char* call) {
    std::strncat(output.log, " ", sizeof output.log - std::strlen(output.log) - 1);
    std::strncat(output.log, call, sizeof output.log - std::strlen(output.log) - 1);
}

[[maybe_unused]] void runOutput() {
    while (output.running.load(std::memory_order_acquire)) {
        output.record->buffer = output.buffer;
        output.record->fillbuffer(output.record);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void haltThread() {
    if (output.thread != nullptr) {
        output.running.store(false, std::memory_order_release);
        output.thread->join();
        delete output.thread;
        output.thread = nullptr;
    }
}

}  // namespace

extern "C" {

PLUG_EXPORT const char* TESTPLUG_LOG(void) {
    return output.log;
}

PLUG_EXPORT int PLUG_ISANY(PlugoutRecord* record) {
    note("isany");
    writeText(record->name, TESTPLUG_NAME);
#ifdef TESTPLUG_REFUSE_ISANY
    return 0;
#else
    return 1;
#endif
}

PLUG_EXPORT int PLUG_INIT(PlugoutRecord* record) {
    note("init");
#ifdef TESTPLUG_REFUSE_INIT
    return 0;
#endif
    std::free(output.buffer);
    record->framesize = 2 * record->channels;
    record->buffersize = record->frames * record->framesize;
    record->issigned = 1;
    output.buffer = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(record->buffersize)));
    record->buffer = output.buffer;
    writeText(record->name, TESTPLUG_NAME);
    writeText(record->device, "test device");
    output.record = record;
    return 1;
}

PLUG_EXPORT int PLUG_START(void) {
    note("start");
#ifdef TESTPLUG_START_MIN_FRAMES
    if (output.record->frames < TESTPLUG_START_MIN_FRAMES) {
        return 0;
    }
#endif
#ifdef TESTPLUG_THREADED
    if (output.thread == nullptr) {
        output.running.store(true, std::memory_order_release);
        output.thread = new std::thread(runOutput);
    }
#endif
    return 1;
}

PLUG_EXPORT int PLUG_STOP(void) {
    note("stop");
#ifdef TESTPLUG_REFUSE_FIRST_STOP
    static bool refused = false;
    if (!refused) {
        refused = true;
        return 0;
    }
#endif
    haltThread();
    return 1;
}

#ifndef TESTPLUG_WITHOUT_EXIT
PLUG_EXPORT int PLUG_EXIT(void) {
    note("exit");
    haltThread();
    std::free(output.buffer);
    output.buffer = nullptr;
    output.record = nullptr;
    return 1;
}
#endif

PLUG_EXPORT const char* PLUG_ERROR(void) {
    return TESTPLUG_NAME " refused";
}

}  // extern "C"
