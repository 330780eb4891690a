// Fuzz target: korvane.ini on any bytes. Reading must give settings within
// the limits the reader promises, and a file written from them, read and
// written again must be the same bytes: the first write may move a real to
// the float nearest its "%.7g" text, where it then stays.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "app/config.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "tests/fuzz/fuzz_support.h"
#include "tomidi/tomidi_settings.h"

namespace {

using namespace korvane;

void check(bool condition, const std::string& what) { fuzz::check(condition, "config_file", what); }

void read(std::string text) {
    TextLines lines(std::move(text));
    readConfigurationFrom(lines);
}

bool within(float value, float low, float high) { return value >= low && value <= high; }

void checkLimits() {
    check(lastIndex >= -1 && lastIndex <= maxLastIndex, "lastIndex " + std::to_string(lastIndex));
    const int highest = std::max(lastIndex, 0);
    for (const int index : {currentIndex, repeatFrom, repeatTo})
        check(index >= 0 && index <= highest, "an index " + std::to_string(index) + " outside the list");
    for (int i = 0; i <= lastIndex; ++i) check(!playlistEntries[i].empty(), "an empty entry");
    check(within(speed, 40, 100), "speed " + std::to_string(speed));
    check(within(volume, 0.02f, 1.7f), "volume " + std::to_string(volume));
    const ToMidiSettings& t = toMidiSettings;
    check(within(t.vol, 0.02f, 2.0f) && t.lock >= 1 && t.lock <= 10 && t.cpu >= 1200 && t.cpu <= 12000 &&
              within(t.sinExponent, 0, 60) && within(t.windowFactor, 0.3f, 1.9f),
          "toMidi settings outside their ranges");
    for (const float value : {reverb2.kreverb1, reverb2.kreverb2, reverb2.Treverb1, reverb2.Treverb2,
                              reverb3.kreverb1, reverb3.kreverb2, reverb3.Treverb1, reverb3.Treverb2,
                              equalizer.lowg, equalizer.midg, equalizer.highg})
        check(std::isfinite(value), "a real setting that is not finite");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    read(std::string(reinterpret_cast<const char*>(data), size));
    checkLimits();
    const std::string written = configurationText();

    read(written);
    checkLimits();
    check(configurationText() == written, "writing again gives another text:\n" + written);
    return 0;
}
