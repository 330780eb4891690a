// FBS_GET_KEYCODE: the engine knows nothing of the window; the host
// registers the reader of its key queue.
#include <atomic>

#include "engine/fbs.h"

namespace {
std::atomic<FBS_KEYREADER> keyReader{nullptr};
}

extern "C" {

FBS_API int FBS_SET_KEYREADER(FBS_KEYREADER reader) {
    keyReader.store(reader, std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_KEYCODE(void) {
    const FBS_KEYREADER reader = keyReader.load(std::memory_order_relaxed);
    return reader != nullptr ? reader() : 0;
}

}  // extern "C"
