// The volume and pan of a mixer source (the stream or a sound) as callers
// give them: any float, NaN included, limited to what the mixer takes.
#pragma once

#include <atomic>
#include <cmath>

namespace korvane::engine {

// NaN and anything below 0.0001 are silence; at most 2.
inline float clampVolume(float volume) {
    if (std::isnan(volume) || volume < 0.0001f) {
        return 0.0f;
    }
    return volume > 2.0f ? 2.0f : volume;
}

// -1 (left) .. 1 (right); NaN is the middle.
inline float clampPan(float pan) {
    if (std::isnan(pan)) {
        return 0.0f;
    }
    return pan < -1.0f ? -1.0f : (pan > 1.0f ? 1.0f : pan);
}

// Stores a pan of -1..1 with the gains it gives, the gains first: the mixer
// reads them only once the pan says so.
template <typename Source>
void storePan(Source& source, float pan) {
    source.rightgain.store(pan < 0.0f ? 1.0f + pan : 1.0f, std::memory_order_relaxed);
    source.leftgain.store(pan > 0.0f ? 1.0f - pan : 1.0f, std::memory_order_relaxed);
    source.pan.store(pan, std::memory_order_relaxed);
}

}  // namespace korvane::engine
