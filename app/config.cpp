#include "app/config.h"

#include <algorithm>
#include <cstddef>

#include "app/text/number_text.h"
#include "app/text/start_values.h"
#include "app/window/screen.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/playlist_block.h"
#include "tomidi/midi_output.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {

int windowLeft = 400;
int windowTop = 300;

namespace {

const StartValues initial(windowLeft, windowTop);

// How a line's value is converted and written: integers rounded to the
// nearest (ties to even) and written with a leading blank when not negative,
// or without it ("Bare"); reals as 32-bit floats in "%.7g" form, without a
// blank or with one ("Signed").
enum class Form { Integer, IntegerBare, Real, RealSigned };

// Limits applied as the line is read; none when low > high.
struct Limits {
    double low;
    double high;
};
constexpr Limits unlimited{1.0, 0.0};

struct Setting {
    Form form;
    double fallback;  // the value when the file ends before the line
    Limits limits;
    double (*get)();
    void (*set)(double);
};

// Lines 1 to 25, in file order.
const Setting headSettings[] = {
    {Form::Integer, 0, unlimited, [] { return double(currentIndex); },
     [](double v) { currentIndex = int(v); }},
    {Form::Integer, 400, unlimited, [] { return double(windowLeft); },
     [](double v) { windowLeft = int(v); }},
    {Form::Integer, 300, unlimited, [] { return double(windowTop); },
     [](double v) { windowTop = int(v); }},
    {Form::Integer, 0, unlimited, [] { return double(autovolMode.load()); },
     [](double v) { autovolMode = int(v); }},
    {Form::Integer, 0, unlimited, [] { return double(reverbMode.load()); },
     [](double v) { reverbMode = int(v); }},
    {Form::Real, 0.55, unlimited, [] { return double(reverb3.kreverb1); },
     [](double v) { reverb3.kreverb1 = float(v); }},
    {Form::Real, 0.34, unlimited, [] { return double(reverb3.kreverb2); },
     [](double v) { reverb3.kreverb2 = float(v); }},
    {Form::Real, 225, unlimited, [] { return double(reverb3.Treverb1); },
     [](double v) { reverb3.Treverb1 = float(v); }},
    {Form::Real, 300, unlimited, [] { return double(reverb3.Treverb2); },
     [](double v) { reverb3.Treverb2 = float(v); }},
    {Form::Real, 0.45, unlimited, [] { return double(reverb2.kreverb1); },
     [](double v) { reverb2.kreverb1 = float(v); }},
    {Form::Real, 0.3, unlimited, [] { return double(reverb2.kreverb2); },
     [](double v) { reverb2.kreverb2 = float(v); }},
    {Form::Real, 225, unlimited, [] { return double(reverb2.Treverb1); },
     [](double v) { reverb2.Treverb1 = float(v); }},
    {Form::Real, 300, unlimited, [] { return double(reverb2.Treverb2); },
     [](double v) { reverb2.Treverb2 = float(v); }},
    {Form::Integer, 0, unlimited, [] { return double(equalizerOn.load()); },
     [](double v) { equalizerOn = int(v); }},
    {Form::IntegerBare, 200, unlimited, [] { return double(equalizer.lowf); },
     [](double v) { equalizer.lowf = int(v); }},
    {Form::IntegerBare, 8000, unlimited, [] { return double(equalizer.highf); },
     [](double v) { equalizer.highf = int(v); }},
    {Form::Real, 2.0, unlimited, [] { return double(equalizer.lowg); },
     [](double v) { equalizer.lowg = float(v); }},
    {Form::Real, 1.0, unlimited, [] { return double(equalizer.midg); },
     [](double v) { equalizer.midg = float(v); }},
    {Form::Real, 1.2, unlimited, [] { return double(equalizer.highg); },
     [](double v) { equalizer.highg = float(v); }},
    {Form::IntegerBare, 1, unlimited, [] { return double(eqOrder.load()); },
     [](double v) { eqOrder = int(v); }},
    {Form::Real, 100, {40, 100}, [] { return double(speed.load()); },
     [](double v) { speed = float(v); }},
    {Form::Real, 1.7, {0.02, 1.7}, [] { return double(volume.load()); },
     [](double v) { volume = float(v); }},
    {Form::Integer, 0, unlimited, [] { return double(repeatMode); },
     [](double v) { repeatMode = int(v); }},
    {Form::Integer, 0, unlimited, [] { return double(repeatFrom); },
     [](double v) { repeatFrom = int(v); }},
    {Form::Integer, 0, unlimited, [] { return double(repeatTo); },
     [](double v) { repeatTo = int(v); }},
};

// The lines after the playlist block and lastFolder. windowFactor,
// sinExponent and vol size the analysis and scale velocities: they are kept
// in the ranges their panel allows.
const Setting tailSettings[] = {
    {Form::Integer, 0, unlimited, [] { return double(nameStyle); },
     [](double v) { nameStyle = int(v); }},
    {Form::Real, defaultVelocityScale, {0.02, 2.0}, [] { return double(toMidiSettings.vol); },
     [](double v) { toMidiSettings.vol = float(v); }},
    {Form::Integer, 0, unlimited, [] { return double(midiDevice); },
     [](double v) { midiDevice = int(v); }},
    {Form::Integer, 1, {1, 10}, [] { return double(toMidiSettings.lock); },
     [](double v) { toMidiSettings.lock = int(v); }},
    {Form::Integer, 1, unlimited, [] { return double(toMidiSettings.harmo); },
     [](double v) { toMidiSettings.harmo = int(v); }},
    {Form::Integer, 4800, {1200, 12000}, [] { return double(toMidiSettings.cpu); },
     [](double v) { toMidiSettings.cpu = int(v); }},
    {Form::Real, 1.0, {0, 60}, [] { return double(toMidiSettings.sinExponent); },
     [](double v) { toMidiSettings.sinExponent = float(v); }},
    {Form::RealSigned, 1.0, {0.3, 1.9}, [] { return double(toMidiSettings.windowFactor); },
     [](double v) { toMidiSettings.windowFactor = float(v); }},
};

bool isInteger(Form form) { return form == Form::Integer || form == Form::IntegerBare; }

void readSetting(TextLines& lines, const Setting& setting) {
    if (lines.atEnd()) {
        setting.set(setting.fallback);
        return;
    }
    const double number = parseNumber(lines.next());
    double value = isInteger(setting.form) ? double(roundToInt(number)) : double(toSingle(number));
    const Limits& limits = setting.limits;
    if (limits.low <= limits.high) value = std::max(limits.low, std::min(limits.high, value));
    // A real limit such as 0.02 is not a float: store the float nearest to it.
    setting.set(isInteger(setting.form) ? value : double(toSingle(value)));
}

std::string settingText(const Setting& setting) {
    const double value = setting.get();
    switch (setting.form) {
    case Form::Integer: return formatIntegerField(static_cast<std::int64_t>(value));
    case Form::IntegerBare: return std::to_string(static_cast<std::int64_t>(value));
    case Form::Real: return formatSingle(static_cast<float>(value));
    case Form::RealSigned: return withSignBlank(formatSingle(static_cast<float>(value)));
    }
    return {};
}

int withinPlaylist(int index) { return std::max(0, std::min(lastIndex, index)); }

}  // namespace

void readConfigurationFrom(TextLines& lines) {
    for (const Setting& setting : headSettings) readSetting(lines, setting);
    readPlaylistBlock(lines);
    currentIndex = withinPlaylist(currentIndex);
    repeatFrom = withinPlaylist(repeatFrom);
    repeatTo = withinPlaylist(repeatTo);
    lastFolder = lines.atEnd() ? std::string() : trimBlanks(lines.next());
    for (const Setting& setting : tailSettings) readSetting(lines, setting);
}

void readConfiguration() {
    std::string content;
    readTextFile(configFileName, content);
    TextLines lines(std::move(content));
    readConfigurationFrom(lines);
}

std::string configurationText() {
    std::string out;
    for (const Setting& setting : headSettings) appendLine(out, settingText(setting));
    out += playlistBlockText();
    appendLine(out, "finlist");
    appendLine(out, lastFolder);
    for (const Setting& setting : tailSettings) appendLine(out, settingText(setting));
    return out;
}

bool writeConfiguration() { return writeTextFile(configFileName, configurationText()); }

void resetWindowPosition() { initial.restore(); }

void limitWindowPosition(int desktopWidth, int desktopHeight) {
    windowLeft = std::min(std::max(windowLeft, 1), desktopWidth - mainWindowWidth);
    windowTop = std::min(std::max(windowTop, 1), desktopHeight - mainWindowHeight);
}

}  // namespace korvane
