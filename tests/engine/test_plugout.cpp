// A plug-out for the engine's tests, built several times into separate
// folders with different behaviour:
//   TESTPLUG_NAME              the name it reports
//   TESTPLUG_REFUSE_ISANY      PLUG_ISANY answers 0
//   TESTPLUG_REFUSE_INIT       PLUG_INIT answers 0
//   TESTPLUG_START_MIN_FRAMES  PLUG_START fails for buffers of fewer frames
//   TESTPLUG_WITHOUT_EXIT      the PLUG_EXIT entry point is missing
//   TESTPLUG_REFUSE_FIRST_STOP the first PLUG_STOP answers 0
//   TESTPLUG_THREADED          PLUG_START runs an output thread calling the
//                              fill function, faster than real time (the
//                              real plug-outs' thread handling)
//   TESTPLUG_STALL_AFTER=N     with TESTPLUG_THREADED: after N fill calls the
//                              thread hangs as in a device call that never
//                              returns, until the test calls TESTPLUG_RELEASE
// Each entry point appends its name to a log that tests read through
// TESTPLUG_LOG.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/plugout/plugout_record.h"
#include "engine/plugout/plugout_text.h"
#include "plugouts/plugout_output.h"

using korvane::engine::writeText;

namespace {

struct TestOutput : korvane::plugouts::PlugoutOutput {
    constexpr TestOutput() : PlugoutOutput(TESTPLUG_NAME) {}
    char log[1024] = "";
};

TestOutput output;
std::atomic<bool> released{false};

void note(const char* call) {
    std::strncat(output.log, " ", sizeof output.log - std::strlen(output.log) - 1);
    std::strncat(output.log, call, sizeof output.log - std::strlen(output.log) - 1);
}

[[maybe_unused]] void runOutput() {
    [[maybe_unused]] int fills = 0;
    while (output.keepRunning()) {
        output.fillBuffer();
#ifdef TESTPLUG_STALL_AFTER
        if (++fills == TESTPLUG_STALL_AFTER) {
            while (!released.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
#endif
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

}  // namespace

extern "C" {

PLUG_EXPORT const char* TESTPLUG_LOG(void) {
    return output.log;
}

// A stalled output thread goes on.
PLUG_EXPORT void TESTPLUG_RELEASE(void) {
    released.store(true, std::memory_order_release);
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
    if (!output.stopThread()) {
        return 0;
    }
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
    released.store(false, std::memory_order_relaxed);
    if (!output.threadStarted() && !output.startThread(runOutput)) {
        return 0;
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
    return output.stopThread() ? 1 : 0;
}

#ifndef TESTPLUG_WITHOUT_EXIT
PLUG_EXPORT int PLUG_EXIT(void) {
    note("exit");
    if (!output.stopThread()) {
        return 0;
    }
    output.releaseBuffer();
    return 1;
}
#endif

PLUG_EXPORT const char* PLUG_ERROR(void) {
    return output.error[0] != '\0' ? output.error : TESTPLUG_NAME " refused";
}

}  // extern "C"
