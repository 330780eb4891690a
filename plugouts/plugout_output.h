// What the output plug-outs share: the part of a plug-out's handle that every
// one of them has (the engine's record, the buffer handed to the fill
// function, the output thread and the error text), the record's 16-bit
// format and buffer, and starting and stopping the fill calls, on an output
// thread of the plug-out's own or in the device's callback. Linked into each
// plug-out library with hidden visibility: a plug-out still exports its PLUG_
// entry points only.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <type_traits>

#include "engine/plugout/plugout_record.h"

namespace korvane::plugouts {

// A running output sees a stop request within 100 ms; one whose fill or
// device call has not ended after this long is stuck, and the program's end
// does not wait for it. Once an output was found stuck, later stops wait only
// briefly.
inline constexpr int stopWaitMilliseconds = 250;
inline constexpr int stuckWaitMilliseconds = 25;

// The name of the thread that calls the fill function, as top -H, a profiler
// or a debugger shows it.
inline constexpr const char* outputThreadName = "korvane-out";

// A plug-out keeps its state in one static handle derived from this. The
// engine's exit clean-up may stop the output at any point of the program's
// end, so no member needs a destructor.
struct PlugoutOutput {
    explicit constexpr PlugoutOutput(const char* errorPrefix) : prefix(errorPrefix) {}

    const char* prefix;               // opens every error text: "SDL audio", "ALSA"
    PlugoutRecord* record = nullptr;  // from PLUG_INIT until PLUG_EXIT
    uint8_t* buffer = nullptr;        // the buffer handed to the fill function
    std::thread* thread = nullptr;    // an own output thread, from PLUG_START until PLUG_STOP
    std::atomic<bool> running{false}; // fill calls are wanted: from PLUG_START until a stop
    // A fill call may be under way: the own output thread's loop has not
    // returned, or the device's callback is in beginCallback..endCallback.
    std::atomic<bool> active{false};
    bool stuck = false;               // a stop found the output stuck; main thread
    char error[256] = "";

    // Sets the error text to "prefix: what".
    void fail(const char* what);
    // Sets the error text to "prefix what: reason".
    void fail(const char* what, const char* reason);

    // Sets the record's format to interleaved signed 16-bit samples and
    // allocates the zeroed buffer, its pages already written; false, with
    // the error text, when there is no memory for it.
    bool allocateBuffer(PlugoutRecord& engineRecord);
    // PLUG_INIT's success: the plug-out's name and device in the record, the
    // buffer handed over, the record kept and the error text cleared.
    void ready(PlugoutRecord& engineRecord, const char* name, const std::string& device);
    // Frees the buffer and forgets the record.
    void releaseBuffer();

    // Has the engine fill the buffer; on the output thread.
    void fillBuffer() {
        record->buffer = buffer;
        record->fillbuffer(record);
    }

    bool threadStarted() const { return thread != nullptr; }
    // What the output thread's loop asks before each round.
    bool keepRunning() const { return running.load(std::memory_order_acquire); }
    // Runs loop on a new output thread; false, with the error text, when no
    // thread can be started.
    bool startThread(void (*loop)());
    // stopFills, then the output thread is joined: true once it has ended
    // (or there was none).
    bool stopThread();

    // For an output whose device calls back for each buffer, on the device's
    // thread: true when this call may fill, and endCallback must follow the
    // fill; false once a stop was asked for.
    bool beginCallback();
    void endCallback() { active.store(false, std::memory_order_release); }

    // Asks for the fill calls to end and waits, at most stopWaitMilliseconds,
    // until none is under way: true then, and no fill call can come after
    // it. False when the output is stuck (in a fill or device call that does
    // not return): it is left as it is, the buffer and the device must stay,
    // and a later call asks again, waiting stuckWaitMilliseconds. Main
    // thread.
    bool stopFills();
};

static_assert(std::is_trivially_destructible_v<PlugoutOutput>, "no destructor may run at the program's end");

}  // namespace korvane::plugouts
