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
//   TESTPLUG_PAUSE_US=N        with TESTPLUG_THREADED: the pause between two
//                              fill calls, 200 microseconds unless given
// Each entry point appends its name to a log that tests read through
// TESTPLUG_LOG. TESTPLUG_OBSERVE hands the output thread two functions that
// it calls right before and right after each fill call, so that a test can
// watch exactly what the engine's fill does on that thread.
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

#ifndef TESTPLUG_PAUSE_US
#define TESTPLUG_PAUSE_US 200
#endif

using FillObserver = void (*)();

TestOutput output;
std::atomic<bool> released{false};
std::atomic<FillObserver> beforeFill{nullptr};
std::atomic<FillObserver> afterFill{nullptr};

void note(const char* call) {
    std::strncat(output.log, " ", sizeof output.log - std::strlen(output.log) - 1);
    std::strncat(output.log, call, sizeof output.log - std::strlen(output.log) - 1);
}

[[maybe_unused]] void runOutput() {
    [[maybe_unused]] int fills = 0;
    while (output.keepRunning()) {
        if (const FillObserver before = beforeFill.load(std::memory_order_acquire)) before();
        output.fillBuffer();
        if (const FillObserver after = afterFill.load(std::memory_order_acquire)) after();
#ifdef TESTPLUG_STALL_AFTER
        if (++fills == TESTPLUG_STALL_AFTER) {
            while (!released.load(std::memory_order_acquire)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
#endif
        std::this_thread::sleep_for(std::chrono::microseconds(TESTPLUG_PAUSE_US));
    }
}

}  // namespace

extern "C" {

PLUG_EXPORT const char* TESTPLUG_LOG(void) {
    return output.log;
}

// Null for either leaves that side unobserved; takes effect with the next
// fill call.
PLUG_EXPORT void TESTPLUG_OBSERVE(FillObserver before, FillObserver after) {
    beforeFill.store(before, std::memory_order_release);
    afterFill.store(after, std::memory_order_release);
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
    if (!output.allocateBuffer(*record)) {
        return 0;
    }
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
