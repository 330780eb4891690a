// Fuzz target: ".equ" and ".rev" files on any bytes, each read as a load
// reads it. What a complete file gives must lie within the effects' ranges,
// and a file saved from it, loaded and saved again must be the same bytes.
#include <cmath>
#include <cstdint>
#include <string>

#include "effects/preset_files.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace korvane;

void check(bool condition, const std::string& what) { fuzz::check(condition, "preset_files", what); }

bool within(float value, float low, float high) { return value >= low && value <= high; }

void checkEqualizer(const std::string& text) {
    EqualizerFile file;
    if (parseEqualizerFile(text, file) < equalizerFileLines) return;
    const EqualizerSettings& e = file.settings;
    check(e.lowf >= 20 && e.lowf <= 20000 && e.highf >= 20 && e.highf <= 20000, "a crossover out of range");
    check(within(e.lowg, 0, 10) && within(e.midg, 0, 10) && within(e.highg, 0, 10), "a gain out of range");

    const std::string saved = equalizerFileText(file);
    EqualizerFile again;
    check(parseEqualizerFile(saved, again) == equalizerFileLines, "a saved equalizer file is short:\n" + saved);
    check(equalizerFileText(again) == saved, "saving a saved equalizer file again changes it:\n" + saved);
}

void checkReverb(const std::string& text) {
    ReverbPreset preset;
    if (parseReverbFile(text, preset) < reverbFileLines) return;
    check(within(preset.kreverb1, 0, 0.7f) && within(preset.kreverb2, 0, 0.7f), "a gain out of range");
    for (const float delay : {preset.Treverb1, preset.Treverb2})
        check(within(delay, 10, 1000) && delay == std::nearbyint(delay), "a delay out of range or not whole");

    const std::string saved = reverbFileText(preset);
    ReverbPreset again;
    check(parseReverbFile(saved, again) == reverbFileLines, "a saved reverb file is short:\n" + saved);
    check(reverbFileText(again) == saved, "saving a saved reverb file again changes it:\n" + saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkEqualizer(text);
    checkReverb(text);
    return 0;
}
