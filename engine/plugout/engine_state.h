// The engine's global state: the plug-outs it knows, the one in use, the
// master gain, the mixer's counters and the primitives chosen for the output
// format.
//
// One instance per process. Main thread only, except the std::atomic values,
// which the output thread (mixer, master callback) and the decoder thread
// read; they are written in single stores.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/fbs.h"

namespace korvane::engine {

// The built-in list of plug-out libraries, looked for in this order.
inline constexpr const char* kPlugoutNames[] = {"plug-sdl.so", "plug-alsa.so"};
inline constexpr int kMaxPlugouts = sizeof(kPlugoutNames) / sizeof(kPlugoutNames[0]);

// Sample primitives chosen by the output's channel count when a plug-out
// accepts a format. Written by FBS_INIT while no output runs; read by the
// mixer and the decoder. pan is null for mono output, where panning is
// skipped.
struct MixPrimitives {
    decltype(&COPYRIGHT32) copyRight = nullptr;
    decltype(&MOVERIGHT32) moveRight = nullptr;
    decltype(&COPYSLICERIGHT32) copySliceRight = nullptr;
    decltype(&MOVESLICERIGHT32) moveSliceRight = nullptr;
    decltype(&COPYSLICELEFT32) copySliceLeft = nullptr;
    decltype(&MOVESLICELEFT32) moveSliceLeft = nullptr;
    decltype(&COPYSLICEMP3FRAME32) copySliceMp3Frame = nullptr;
    decltype(&SCALEMP3FRAME_22_16) scaleMp3Stereo = nullptr;  // a two-channel decoded frame
    decltype(&SCALEMP3FRAME_12_16) scaleMp3Mono = nullptr;    // a one-channel decoded frame
    decltype(&PAN16) pan = nullptr;
};

struct EngineState {
    std::atomic<int> initialised{0};  // 1 after a plug-out accepted the format
    // Plug-outs that loaded and answered PLUG_ISANY with 1, in list order. A
    // plug-out's thread holds the address of its entry, so entries never move.
    PlugoutRecord plugouts[kMaxPlugouts]{};
    int numofplugouts = 0;
    int plugindex = -1;                // the plug-out in use, -1 for none
    std::atomic<int> plugrunning{0};   // last PLUG_START result, 0 after a confirmed stop
    std::string plugpath;              // ends with "/"; empty until set or first needed
    bool hostoutput = false;           // discovery yields the built-in host-driven output

    std::atomic<float> mastervolume{1.0f};  // 0.0 or 0.001..2.0
    std::atomic<int> maxchannels{128};      // 1..256 sources mixed into one buffer
    std::atomic<int64_t> playedbytes{0};    // bytes handed to the plug-out; never reset
    std::atomic<int> playingsounds{0};      // counts of the last fill call
    std::atomic<int> playingstreams{0};
    std::atomic<FBS_CALLBACK> mastercallback{nullptr};
    std::atomic<int> mastercallbackenabled{0};

    MixPrimitives mix{};
};

extern EngineState engine;

// Whether a plug-out has accepted the format: every FBS_ function that needs
// the output checks this first.
inline bool engineInitialised() {
    return engine.initialised.load(std::memory_order_relaxed) != 0;
}

// The record of the plug-out in use, null when none is.
PlugoutRecord* plugoutInUse();
// plugpath, defaulting to the running executable's folder followed by "/".
const std::string& plugPath();

}  // namespace korvane::engine
