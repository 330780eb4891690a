#include "effects/preset_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "app/dialogs.h"
#include "app/number_text.h"
#include "app/text_file.h"

namespace korvane {

namespace {

struct PresetKind {
    const char* noun;       // in the titles and the saved notice
    const char* extension;
    std::size_t lineCount;  // lines of the format
};

constexpr PresetKind equalizerKind{"equalizer", ".equ", 6};
constexpr PresetKind reverbKind{"reverb", ".rev", 4};

std::string chooseName(const PresetKind& kind, const std::string& verb) {
    return chooseFileWithExtension(verb + " " + kind.noun, std::string("save/*") + kind.extension,
                                   kind.extension);
}

void savePreset(const PresetKind& kind, const std::vector<std::string>& lines) {
    const std::string name = chooseName(kind, "save");
    if (name.empty()) return;
    if (askYesNo("save in " + name + " ?", std::string("save ") + kind.noun) != "yes") return;
    std::string text;
    for (const std::string& line : lines) appendLine(text, line);
    if (writeTextFile(name, text))
        showNotice(std::string(kind.noun) + " saved as " + name, "notice");
    else
        showNotice("cannot write " + name, "notice");
}

// The numbers of the format's lines, once the user has confirmed; nothing
// (and a notice unless cancelled) for a missing, unreadable or short file.
std::optional<std::vector<double>> loadPreset(const PresetKind& kind) {
    const std::string name = chooseName(kind, "load");
    if (name.empty()) return std::nullopt;
    std::error_code error;
    if (!std::filesystem::exists(name, error)) {
        showNotice("not found :" + name, "notice");
        return std::nullopt;
    }
    std::string content;
    if (!readTextFile(name, content)) {
        showNotice("cannot read " + name, "notice");
        return std::nullopt;
    }
    TextLines lines(std::move(content));
    std::vector<double> numbers;
    while (numbers.size() < kind.lineCount && !lines.atEnd()) numbers.push_back(parseNumber(lines.next()));
    if (numbers.size() < kind.lineCount) {
        showNotice("short file, nothing loaded (" + std::to_string(numbers.size()) + " of " +
                       std::to_string(kind.lineCount) + " lines): " + name,
                   "notice");
        return std::nullopt;
    }
    if (askYesNo("load " + name + " ?", std::string("load ") + kind.noun) != "yes") return std::nullopt;
    return numbers;
}

// Reals in "%.7g" form with a leading blank when not negative.
std::string signedReal(float value) { return withSignBlank(formatSingle(value)); }

}  // namespace

void saveEqualizerFile() {
    savePreset(equalizerKind,
               {formatIntegerField(equalizer.lowf), formatIntegerField(equalizer.highf),
                formatSingle(equalizer.lowg), formatSingle(equalizer.midg), formatSingle(equalizer.highg),
                formatIntegerField(eqOrder.load())});
}

void loadEqualizerFile() {
    const std::optional<std::vector<double>> numbers = loadPreset(equalizerKind);
    if (!numbers) return;
    const std::vector<double>& n = *numbers;
    EqualizerSettings loaded{roundToInt(n[0]), roundToInt(n[1]), toSingle(n[2]), toSingle(n[3]),
                             toSingle(n[4])};
    limitEqualizerSettings(loaded);
    equalizer = loaded;
    eqOrder = roundToInt(n[5]);
}

void saveReverbFile(const ReverbPreset& preset) {
    savePreset(reverbKind, {signedReal(preset.kreverb1), signedReal(preset.kreverb2),
                            signedReal(preset.Treverb1), signedReal(preset.Treverb2)});
}

void loadReverbFile(ReverbPreset& preset) {
    const std::optional<std::vector<double>> numbers = loadPreset(reverbKind);
    if (!numbers) return;
    const std::vector<double>& n = *numbers;
    ReverbPreset loaded{toSingle(n[0]), toSingle(n[1]), toSingle(n[2]), toSingle(n[3])};
    limitReverbPreset(loaded);
    preset = loaded;
}

}  // namespace korvane
