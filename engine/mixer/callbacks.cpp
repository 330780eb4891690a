// Registration of the master, stream and sound callbacks. Main thread; the
// mixer reads the stored addresses and flags on the output thread.
#include "engine/fbs.h"
#include "engine/plugout/engine_state.h"
#include "engine/sounds/sounds.h"
#include "engine/stream/stream.h"

using korvane::engine::engine;
using korvane::engine::engineInitialised;
using korvane::engine::sounds;
using korvane::engine::stream;

namespace {

bool streamActive() {
    return stream.active.load(std::memory_order_acquire) != 0;
}

}  // namespace

extern "C" {

FBS_API int FBS_SET_MASTERCALLBACK(FBS_CALLBACK callback) {
    if (!engineInitialised()) {
        return 0;
    }
    // A newly set callback waits for its enable call.
    engine.mastercallbackenabled.store(0, std::memory_order_relaxed);
    engine.mastercallback.store(callback, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_ENABLE_MASTERCALLBACK(void) {
    if (!engineInitialised()) {
        engine.mastercallbackenabled.store(0, std::memory_order_relaxed);
        return 0;
    }
    engine.mastercallbackenabled.store(1, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_DISABLE_MASTERCALLBACK(void) {
    const bool refused = !engineInitialised() || engine.mastercallback.load(std::memory_order_relaxed) == nullptr;
    engine.mastercallbackenabled.store(0, std::memory_order_relaxed);
    return refused ? 0 : 1;
}

FBS_API int FBS_SET_STREAMCALLBACK(FBS_CALLBACK callback) {
    if (!streamActive()) {
        return 0;
    }
    stream.streamcallbackenabled.store(0, std::memory_order_relaxed);
    stream.streamcallback.store(callback, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_ENABLE_STREAMCALLBACK(void) {
    if (!streamActive() || stream.streamcallback.load(std::memory_order_relaxed) == nullptr) {
        return 0;
    }
    stream.streamcallbackenabled.store(1, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_DISABLE_STREAMCALLBACK(void) {
    if (!streamActive() || stream.streamcallback.load(std::memory_order_relaxed) == nullptr) {
        return 0;
    }
    stream.streamcallbackenabled.store(0, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_SET_SOUNDCALLBACK(int sound, FBS_CALLBACK callback) {
    if (!korvane::engine::soundHandleValid(sound)) {
        return 0;
    }
    sounds.slots[sound].callbackenabled.store(0, std::memory_order_relaxed);
    sounds.slots[sound].callback.store(callback, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_ENABLE_SOUNDCALLBACK(int sound) {
    if (!korvane::engine::soundHandleValid(sound) ||
        sounds.slots[sound].callback.load(std::memory_order_relaxed) == nullptr) {
        return 0;
    }
    sounds.slots[sound].callbackenabled.store(1, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_DISABLE_SOUNDCALLBACK(int sound) {
    if (!korvane::engine::soundHandleValid(sound) ||
        sounds.slots[sound].callback.load(std::memory_order_relaxed) == nullptr) {
        return 0;
    }
    sounds.slots[sound].callbackenabled.store(0, std::memory_order_relaxed);
    return 1;
}

}  // extern "C"
