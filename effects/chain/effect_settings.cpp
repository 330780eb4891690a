#include "effects/chain/effect_settings.h"

#include <algorithm>

#include "app/text/number_text.h"
#include "app/text/start_values.h"

namespace korvane {

std::atomic<float> speed{100.0f};
std::atomic<float> volume{1.7f};
std::atomic<int> autovolMode{0};
std::atomic<int> reverbMode{0};
std::atomic<int> equalizerOn{0};
std::atomic<int> toMidiActive{0};
std::atomic<int> eqOrder{1};

ReverbPreset reverb2{0.45f, 0.3f, 225.0f, 300.0f};
ReverbPreset reverb3{0.55f, 0.34f, 225.0f, 300.0f};
EqualizerSettings equalizer;

namespace {

const StartValues initial(speed, volume, autovolMode, reverbMode, equalizerOn, toMidiActive, eqOrder, reverb2,
                          reverb3, equalizer);

template <typename T>
T limited(T value, T low, T high) {
    return std::max(low, std::min(high, value));
}

float limitedDelay(float milliseconds) {
    return static_cast<float>(roundToInt(limited(milliseconds, 10.0f, 1000.0f)));
}

}  // namespace

void limitReverbPreset(ReverbPreset& preset) {
    preset.kreverb1 = limited(preset.kreverb1, 0.0f, 0.7f);
    preset.kreverb2 = limited(preset.kreverb2, 0.0f, 0.7f);
    preset.Treverb1 = limitedDelay(preset.Treverb1);
    preset.Treverb2 = limitedDelay(preset.Treverb2);
}

void limitEqualizerSettings(EqualizerSettings& settings) {
    settings.lowf = limited(settings.lowf, 20, 20000);
    settings.highf = limited(settings.highf, 20, 20000);
    settings.lowg = limited(settings.lowg, 0.0f, 10.0f);
    settings.midg = limited(settings.midg, 0.0f, 10.0f);
    settings.highg = limited(settings.highg, 0.0f, 10.0f);
}

void limitEqualizerOrder() { eqOrder = limited(eqOrder.load(), 1, 4); }

void resetEffectSettings() { initial.restore(); }

}  // namespace korvane
