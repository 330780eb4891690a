#include "effects/preset_files.h"

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "app/input/dialogs.h"
#include "app/text/number_text.h"
#include "app/text/text_file.h"

namespace korvane {

namespace {

struct PresetKind {
    const char* noun;       // in the titles and the saved notice
    const char* extension;
    std::size_t lineCount;  // lines of the format
};

constexpr PresetKind equalizerKind{"equalizer", ".equ", equalizerFileLines};
constexpr PresetKind reverbKind{"reverb", ".rev", reverbFileLines};

std::string chooseName(const PresetKind& kind, const std::string& verb) {
    return chooseFileWithExtension(verb + " " + kind.noun, std::string("save/*") + kind.extension,
                                   kind.extension);
}

void savePreset(const PresetKind& kind, const std::string& text) {
    const std::string name = chooseName(kind, "save");
    if (name.empty()) return;
    if (askYesNo("save in " + name + " ?", std::string("save ") + kind.noun) != "yes") return;
    if (writeTextFile(name, text))
        showNotice(std::string(kind.noun) + " saved as " + name, "notice");
    else
        showNotice("cannot write " + name, "notice");
}

// Whether the chosen file was read, complete, and the user confirmed the
// load; parse takes its text and returns how many of the format's lines it
// has. A notice (unless cancelled) for a missing, unreadable or short file.
bool loadPreset(const PresetKind& kind, const std::function<std::size_t(std::string)>& parse) {
    const std::string name = chooseName(kind, "load");
    if (name.empty()) return false;
    std::error_code error;
    if (!std::filesystem::exists(name, error)) {
        showNotice("not found :" + name, "notice");
        return false;
    }
    std::string content;
    if (!readTextFile(name, content)) {
        showNotice("cannot read " + name, "notice");
        return false;
    }
    const std::size_t found = parse(std::move(content));
    if (found < kind.lineCount) {
        showNotice("short file, nothing loaded (" + std::to_string(found) + " of " +
                       std::to_string(kind.lineCount) + " lines): " + name,
                   "notice");
        return false;
    }
    return askYesNo("load " + name + " ?", std::string("load ") + kind.noun) == "yes";
}

// The numbers of the first count lines, fewer when the text has fewer.
std::vector<double> leadingNumbers(std::string text, std::size_t count) {
    TextLines lines(std::move(text));
    std::vector<double> numbers;
    while (numbers.size() < count && !lines.atEnd()) numbers.push_back(parseNumber(lines.next()));
    return numbers;
}

std::string textOfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) appendLine(text, line);
    return text;
}

// Reals in "%.7g" form with a leading blank when not negative.
std::string signedReal(float value) { return withSignBlank(formatSingle(value)); }

}  // namespace

std::string equalizerFileText(const EqualizerFile& file) {
    const EqualizerSettings& e = file.settings;
    return textOfLines({formatIntegerField(e.lowf), formatIntegerField(e.highf), formatSingle(e.lowg),
                        formatSingle(e.midg), formatSingle(e.highg), formatIntegerField(file.order)});
}

std::size_t parseEqualizerFile(std::string text, EqualizerFile& file) {
    const std::vector<double> n = leadingNumbers(std::move(text), equalizerFileLines);
    if (n.size() < equalizerFileLines) return n.size();
    file.settings = {roundToInt(n[0]), roundToInt(n[1]), toSingle(n[2]), toSingle(n[3]), toSingle(n[4])};
    limitEqualizerSettings(file.settings);
    file.order = roundToInt(n[5]);
    return n.size();
}

std::string reverbFileText(const ReverbPreset& preset) {
    return textOfLines({signedReal(preset.kreverb1), signedReal(preset.kreverb2), signedReal(preset.Treverb1),
                        signedReal(preset.Treverb2)});
}

std::size_t parseReverbFile(std::string text, ReverbPreset& preset) {
    const std::vector<double> n = leadingNumbers(std::move(text), reverbFileLines);
    if (n.size() < reverbFileLines) return n.size();
    preset = {toSingle(n[0]), toSingle(n[1]), toSingle(n[2]), toSingle(n[3])};
    limitReverbPreset(preset);
    return n.size();
}

void saveEqualizerFile() { savePreset(equalizerKind, equalizerFileText({equalizer, eqOrder.load()})); }

void loadEqualizerFile() {
    EqualizerFile loaded;
    if (!loadPreset(equalizerKind, [&](std::string text) { return parseEqualizerFile(std::move(text), loaded); }))
        return;
    equalizer = loaded.settings;
    eqOrder = loaded.order;
}

void saveReverbFile(const ReverbPreset& preset) { savePreset(reverbKind, reverbFileText(preset)); }

void loadReverbFile(ReverbPreset& preset) {
    ReverbPreset loaded;
    if (!loadPreset(reverbKind, [&](std::string text) { return parseReverbFile(std::move(text), loaded); })) return;
    preset = loaded;
}

}  // namespace korvane
