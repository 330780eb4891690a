// Engine start, stop and shutdown, and the discovery of plug-outs. Main
// thread only.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "engine/mixer/mixer.h"
#include "engine/plugout/engine_state.h"
#include "engine/plugout/host_output.h"
#include "engine/sounds/sounds.h"
#include "engine/stream/stream.h"

namespace korvane::engine {

EngineState engine;

PlugoutRecord* plugoutInUse() {
    return engine.plugindex >= 0 ? &engine.plugouts[engine.plugindex] : nullptr;
}

const std::string& plugPath() {
    if (engine.plugpath.empty()) {
        char exe[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string folder = length > 0 ? std::string(exe, static_cast<size_t>(length)) : std::string();
        const size_t slash = folder.rfind('/');
        engine.plugpath = slash == std::string::npos ? std::string("./") : folder.substr(0, slash + 1);
    }
    return engine.plugpath;
}

namespace {

// Looks up one entry point; false when the library lacks it.
template <typename Function>
bool lookUp(void* library, const char* name, Function& entry) {
    entry = reinterpret_cast<Function>(::dlsym(library, name));
    return entry != nullptr;
}

// Adds the usable plug-out libraries of the built-in list, in list order:
// each must load from plugpath, answer PLUG_ISANY with 1 and export all six
// entry points. The candidate record is reused from one library to the next.
void discoverPlugouts() {
    PlugoutRecord candidate{};
    if (engine.hostoutput) {
        describeHostOutput(candidate);
        if (candidate.plug_isany(&candidate) == 1) {
            engine.plugouts[engine.numofplugouts++] = candidate;
        }
        return;
    }
    for (const char* name : kPlugoutNames) {
        const std::string path = plugPath() + name;
        void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            continue;
        }
        candidate.library = library;
        const bool usable = lookUp(library, "PLUG_ISANY", candidate.plug_isany) &&
                            candidate.plug_isany(&candidate) == 1 &&
                            lookUp(library, "PLUG_INIT", candidate.plug_init) &&
                            lookUp(library, "PLUG_START", candidate.plug_start) &&
                            lookUp(library, "PLUG_STOP", candidate.plug_stop) &&
                            lookUp(library, "PLUG_EXIT", candidate.plug_exit) &&
                            lookUp(library, "PLUG_ERROR", candidate.plug_error);
        if (!usable) {
            ::dlclose(library);
            candidate.library = nullptr;
            continue;
        }
        engine.plugouts[engine.numofplugouts++] = candidate;
    }
}

// Unloads every library of the list and forgets the list.
void unloadPlugouts() {
    for (int i = 0; i < engine.numofplugouts; ++i) {
        if (engine.plugouts[i].library != nullptr) {
            ::dlclose(engine.plugouts[i].library);
        }
        engine.plugouts[i] = PlugoutRecord{};
    }
    engine.numofplugouts = 0;
}

// Closes the plug-out in use; false when its output does not stop, and it
// then stays in use. Its stream buffers belong to the old format, so the
// stream ends first.
bool closePlugoutInUse() {
    PlugoutRecord* record = plugoutInUse();
    FBS_END_MP3STREAM();
    if (record->plug_stop() != 1) {
        return false;
    }
    record->plug_exit();
    engine.plugrunning.store(0, std::memory_order_relaxed);
    engine.plugindex = -1;
    return true;
}

// The plug-out kept the record's promises: the mixer fills exactly
// buffersize bytes of 16-bit frames of the requested channel count.
bool formatConsistent(const PlugoutRecord& record) {
    return record.framesize == 2 * record.channels && record.buffersize == record.frames * record.framesize;
}

void selectPrimitives(int channels) {
    MixPrimitives& mix = engine.mix;
    if (channels == 1) {
        mix = MixPrimitives{COPYRIGHT16,         MOVERIGHT16,         COPYSLICERIGHT16, MOVESLICERIGHT16,
                            COPYSLICELEFT16,     MOVESLICELEFT16,     COPYSLICEMP3FRAME16,
                            SCALEMP3FRAME_21_16, SCALEMP3FRAME_11_16, nullptr};
    } else {
        mix = MixPrimitives{COPYRIGHT32,         MOVERIGHT32,         COPYSLICERIGHT32, MOVESLICERIGHT32,
                            COPYSLICELEFT32,     MOVESLICELEFT32,     COPYSLICEMP3FRAME32,
                            SCALEMP3FRAME_22_16, SCALEMP3FRAME_12_16, PAN16};
    }
}

// At program end the engine stops and shuts itself down. Registered after
// every static object of the engine is built, so it runs before any of them
// is destroyed. FBS_EXIT stops the output itself, so an output that does
// not stop is asked once, not twice.
void cleanUpAtExit() {
    if (engine.initialised.load(std::memory_order_relaxed) == 1) {
        FBS_EXIT();
    } else if (engine.plugrunning.load(std::memory_order_relaxed) == 1) {
        FBS_STOP();
    }
}

}  // namespace

}  // namespace korvane::engine

using korvane::engine::engine;

extern "C" {

FBS_API int FBS_INIT(int rate, int channels, int buffers, int frames, int deviceindex) {
    using namespace korvane::engine;
    // A buffer of frames stereo frames plus the mixing slack must fit an int.
    if (rate < 1 || (channels != 1 && channels != 2) || buffers < 1 || frames < 1 ||
        frames > (INT_MAX - kMixBufferSlack) / 4) {
        return 0;
    }
    static const bool cleanUpRegistered = std::atexit(cleanUpAtExit) == 0;
    (void)cleanUpRegistered;
    try {
        if (engine.numofplugouts < 1) {
            discoverPlugouts();
        }
    } catch (...) {
        engine.numofplugouts = 0;
    }
    if (engine.numofplugouts < 1) {
        engine.initialised.store(0, std::memory_order_relaxed);
        return 0;
    }
    if (engine.plugindex >= 0 && !closePlugoutInUse()) {
        return 0;
    }
    for (int i = 0; i < engine.numofplugouts; ++i) {
        PlugoutRecord& record = engine.plugouts[i];
        record.rate = rate;
        record.bits = 16;
        record.channels = channels;
        record.buffers = buffers;
        record.frames = frames;
        record.fillbuffer = fillBuffer;
        record.deviceindex = deviceindex;
        if (record.plug_init(&record) != 1) {
            continue;
        }
        if (!formatConsistent(record)) {
            record.plug_exit();
            continue;
        }
        engine.plugindex = i;
        break;
    }
    if (engine.plugindex < 0) {
        engine.initialised.store(0, std::memory_order_relaxed);
        return 0;
    }
    selectPrimitives(channels);
    resizeMixBuffers(plugoutInUse()->buffersize);
    engine.initialised.store(1, std::memory_order_relaxed);
    return FBS_START();
}

FBS_API int FBS_START(void) {
    const PlugoutRecord* record = korvane::engine::plugoutInUse();
    if (record == nullptr) {
        return 0;
    }
    const int result = record->plug_start();
    engine.plugrunning.store(result, std::memory_order_relaxed);
    return result;
}

FBS_API int FBS_STOP(void) {
    const PlugoutRecord* record = korvane::engine::plugoutInUse();
    if (record == nullptr || engine.plugrunning.load(std::memory_order_relaxed) != 1) {
        return 1;
    }
    const int result = record->plug_stop();
    if (result == 1) {
        engine.plugrunning.store(0, std::memory_order_relaxed);
    }
    return result;
}

FBS_API int FBS_EXIT(void) {
    using namespace korvane::engine;
    // Buffers are freed only once the plug-out confirmed that no fill call
    // can come; an unconfirmed stop leaves everything in place.
    if (FBS_STOP() != 1) {
        return 0;
    }
    FBS_END_MP3STREAM();
    freeStreamBuffers();
    clearSounds();
    if (PlugoutRecord* record = plugoutInUse()) {
        record->plug_exit();
        // A library's own threads may still be winding down after PLUG_EXIT.
        if (record->library != nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    }
    unloadPlugouts();
    engine.plugindex = -1;
    engine.initialised.store(0, std::memory_order_relaxed);
    return 1;
}

}  // extern "C"
