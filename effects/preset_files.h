// Equalizer files (".equ", six lines: lowf, highf, lowg, midg, highg,
// eqOrder) and reverb files (".rev", four lines: kreverb1, kreverb2,
// Treverb1, Treverb2), each line ended by CR LF. Both are chosen in the
// file dialog under "save/" and confirmed with a yes/no question.
//
// Loaded values get the bounds start-up gives them (the equalizer's order
// excepted: other orders pass samples through). A file that cannot be read
// or has fewer lines than the format changes nothing, and a notice says so;
// a file that cannot be written is reported, never announced as saved.
// Main thread only.
#pragma once

#include <cstddef>
#include <string>

#include "effects/chain/effect_settings.h"

namespace korvane {

constexpr std::size_t equalizerFileLines = 6;
constexpr std::size_t reverbFileLines = 4;

struct EqualizerFile {
    EqualizerSettings settings;
    int order = 1;
};

// A file's text from the values, and the values from a file's text as a
// load takes them (limited). A parse returns how many of the format's lines
// the text has; the values are set only when it has them all.
std::string equalizerFileText(const EqualizerFile& file);
std::size_t parseEqualizerFile(std::string text, EqualizerFile& file);
std::string reverbFileText(const ReverbPreset& preset);
std::size_t parseReverbFile(std::string text, ReverbPreset& preset);

// `equalizer` and eqOrder. After a load the caller redraws and runs
// equalizerSetup.
void saveEqualizerFile();
void loadEqualizerFile();

// One preset. After a load the caller runs reverbSetup.
void saveReverbFile(const ReverbPreset& preset);
void loadReverbFile(ReverbPreset& preset);

}  // namespace korvane
