// The engine's queries and setters: the plug-out in use, plugpath, master
// volume, source limit and the played counters. Main thread, except the two
// counts of playing sources, which the master callback reads.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/plugout/engine_state.h"

using korvane::engine::engine;
using korvane::engine::engineInitialised;
using korvane::engine::plugoutInUse;

namespace {

// A record text field up to its first zero, at most its 64 characters.
std::string recordText(const char (&field)[64]) {
    return std::string(field, strnlen(field, sizeof field));
}

// The value of a record field of the plug-out in use, 0 when none is.
template <typename Field>
int recordField(Field field) {
    const PlugoutRecord* record = plugoutInUse();
    return record != nullptr ? record->*field : 0;
}

}  // namespace

extern "C" {

FBS_API int FBS_GET_NUMOFPLUGOUTS(void) {
    return engine.numofplugouts;
}

FBS_API const char* FBS_GET_PLUGNAME(void) {
    static std::string name;
    const PlugoutRecord* record = plugoutInUse();
    name = record != nullptr ? recordText(record->name) : std::string();
    return name.c_str();
}

FBS_API const char* FBS_GET_PLUGDEVICE(void) {
    static std::string device;
    const PlugoutRecord* record = plugoutInUse();
    device = record != nullptr ? recordText(record->device) : std::string();
    return device.c_str();
}

FBS_API const char* FBS_GET_PLUGERROR(void) {
    static std::string error;
    const PlugoutRecord* record = plugoutInUse();
    const char* text = record != nullptr ? record->plug_error() : nullptr;
    error = text != nullptr ? text : "";
    return error.c_str();
}

FBS_API int FBS_GET_PLUGBUFFERSIZE(void) {
    return recordField(&PlugoutRecord::buffersize);
}

FBS_API int FBS_GET_PLUGBUFFERS(void) {
    return recordField(&PlugoutRecord::buffers);
}

FBS_API int FBS_GET_PLUGFRAMESIZE(void) {
    return recordField(&PlugoutRecord::framesize);
}

FBS_API int FBS_GET_PLUGFRAMES(void) {
    return recordField(&PlugoutRecord::frames);
}

FBS_API int FBS_GET_PLUGRATE(void) {
    return recordField(&PlugoutRecord::rate);
}

FBS_API int FBS_GET_PLUGBITS(void) {
    return recordField(&PlugoutRecord::bits);
}

FBS_API int FBS_GET_PLUGCHANNELS(void) {
    return recordField(&PlugoutRecord::channels);
}

FBS_API int FBS_GET_PLUGSIGNED(void) {
    return recordField(&PlugoutRecord::issigned);
}

FBS_API int FBS_GET_PLUGRUNNING(void) {
    return engine.plugrunning.load(std::memory_order_relaxed);
}

FBS_API int FBS_SET_PLUGPATH(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    engine.plugpath = path;
    return 1;
}

FBS_API const char* FBS_GET_PLUGPATH(void) {
    return korvane::engine::plugPath().c_str();
}

FBS_API int FBS_SET_MAXCHANNELS(int n) {
    engine.maxchannels.store(std::clamp(n, 1, 256), std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_MAXCHANNELS(int* n) {
    if (n == nullptr) {
        return 0;
    }
    *n = engine.maxchannels.load(std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_SET_MASTERVOLUME(float volume) {
    if (!engineInitialised()) {
        return 0;
    }
    // NaN would reach the fixed-point conversion of the gain: it counts as 0.
    if (std::isnan(volume) || volume < 0.001f) {
        volume = 0.0f;
    }
    engine.mastervolume.store(std::min(volume, 2.0f), std::memory_order_relaxed);
    return 1;
}

FBS_API int FBS_GET_MASTERVOLUME(float* volume) {
    if (!engineInitialised() || volume == nullptr) {
        return 0;
    }
    *volume = engine.mastervolume.load(std::memory_order_relaxed);
    return 1;
}

FBS_API int64_t FBS_GET_PLAYEDBYTES(void) {
    return engineInitialised() ? engine.playedbytes.load(std::memory_order_relaxed) : 0;
}

FBS_API int64_t FBS_GET_PLAYEDSAMPLES(void) {
    const int64_t bytes = FBS_GET_PLAYEDBYTES();
    const int framesize = FBS_GET_PLUGFRAMESIZE();
    return bytes > 0 && framesize > 0 ? bytes / framesize : 0;
}

FBS_API double FBS_GET_PLAYTIME(void) {
    const int64_t samples = FBS_GET_PLAYEDSAMPLES();
    const int rate = FBS_GET_PLUGRATE();
    return samples > 0 && rate > 0 ? static_cast<double>(samples) / rate : 0.0;
}

FBS_API int FBS_GET_PLAYINGSOUNDS(void) {
    return engine.plugrunning.load(std::memory_order_relaxed) == 1
               ? engine.playingsounds.load(std::memory_order_relaxed)
               : 0;
}

FBS_API int FBS_GET_PLAYINGSTREAMS(void) {
    return engine.plugrunning.load(std::memory_order_relaxed) == 1
               ? engine.playingstreams.load(std::memory_order_relaxed)
               : 0;
}

}  // extern "C"
