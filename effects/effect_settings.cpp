#include "effects/effect_settings.h"

namespace korvane {

std::atomic<float> speed{100.0f};
std::atomic<float> volume{1.7f};
std::atomic<int> autovolMode{0};
std::atomic<int> reverbMode{0};
std::atomic<int> equalizerOn{0};
std::atomic<int> toMidiActive{0};

ReverbPreset reverb2{0.45f, 0.3f, 225.0f, 300.0f};
ReverbPreset reverb3{0.55f, 0.34f, 225.0f, 300.0f};
EqualizerSettings equalizer;

}  // namespace korvane
