#include "tools/converter/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace korvane::converter {

namespace {

// A whole number or a decimal, and nothing else (unlike the lenient reader
// of korvane.ini, a mistyped option must not pass as 0).
bool strictNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

bool strictInteger(const std::string& text, int& value) {
    double number = 0;
    if (!strictNumber(text, number) || number != std::floor(number) || std::fabs(number) > 1e9)
        return false;
    value = static_cast<int>(number);
    return true;
}

template <typename T>
T within(T value, T low, T high) {
    return value < low ? low : value > high ? high : value;
}

using Setter = std::function<bool(Options&, const std::string&)>;

Setter realSetting(std::optional<float> Options::*field, double low, double high) {
    return [=](Options& o, const std::string& text) {
        double value = 0;
        if (!strictNumber(text, value)) return false;
        o.*field = static_cast<float>(within(value, low, high));
        return true;
    };
}

Setter integerSetting(std::optional<int> Options::*field, int low, int high) {
    return [=](Options& o, const std::string& text) {
        int value = 0;
        if (!strictInteger(text, value)) return false;
        o.*field = within(value, low, high);
        return true;
    };
}

Setter textSetting(std::string Options::*field) {
    return [=](Options& o, const std::string& text) {
        if (text.empty()) return false;
        o.*field = text;
        return true;
    };
}

// Options that take a value; the toMidi settings are limited as the
// panel limits them.
const std::map<std::string, Setter>& valueOptions() {
    static const std::map<std::string, Setter> table = {
        {"-o", textSetting(&Options::output)},
        {"--config", textSetting(&Options::config)},
        {"--notes", textSetting(&Options::notes)},
        {"--wav", textSetting(&Options::wav)},
        {"--wav-mix", textSetting(&Options::wavMix)},
        {"--from",
         [](Options& o, const std::string& text) {
             if (text.empty()) return false;
             o.lists.push_back(text);
             return true;
         }},
        {"--vol", realSetting(&Options::vol, 0.02, 2.0)},
        {"--sin-exponent", realSetting(&Options::sinExponent, 0.0, 60.0)},
        {"--window-factor", realSetting(&Options::windowFactor, 0.3, 1.9)},
        {"--lock", integerSetting(&Options::lock, 1, 7)},
        {"--harmo", integerSetting(&Options::harmo, 0, 10)},
        {"--cpu", integerSetting(&Options::cpu, 1200, 12000)},
        {"--jobs",
         [](Options& o, const std::string& text) {
             return strictInteger(text, o.jobs) && o.jobs >= 1 && o.jobs <= 256;
         }},
        {"--shift",
         [](Options& o, const std::string& text) {
             return strictNumber(text, o.shift) && std::fabs(o.shift) <= 3600;
         }},
    };
    return table;
}

const std::map<std::string, bool Options::*>& flagOptions() {
    static const std::map<std::string, bool Options::*> table = {
        {"--raw", &Options::raw},     {"--player-timing", &Options::playerTiming},
        {"-q", &Options::quiet},      {"--quiet", &Options::quiet},
        {"-h", &Options::help},       {"--help", &Options::help},
        {"--version", &Options::version}, {"--skip-existing", &Options::skipExisting},
    };
    return table;
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            o.inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (const std::size_t equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            inlineValue = true;
        }
        if (const auto flag = flagOptions().find(argument); flag != flagOptions().end() && !inlineValue) {
            o.*(flag->second) = true;
            continue;
        }
        const auto setter = valueOptions().find(argument);
        if (setter == valueOptions().end()) {
            parsed.error = "unknown option " + arguments[i];
            return parsed;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                parsed.error = "option " + argument + " needs a value";
                return parsed;
            }
            value = arguments[++i];
        }
        if (!setter->second(o, value)) {
            parsed.error = "bad value for " + argument + ": " + value;
            return parsed;
        }
    }
    if (!o.help && !o.version && o.inputs.empty() && o.lists.empty()) parsed.error = "no input file";
    if (!o.wav.empty() && o.wav == o.wavMix) parsed.error = "--wav and --wav-mix name the same file";
    return parsed;
}

std::string usageText() {
    return "usage: korvane-tomidi [options] INPUT.mp3|FOLDER [INPUT ...]\n"
           "       korvane-tomidi [options] --from LIST|-\n"
           "Converts MP3 files to Standard MIDI Files with korvane's learned note\n"
           "analysis (or the player's own toMidi events: --raw), faster than real time.\n"
           "A folder stands for its .mp3 files, searched recursively in name order.\n"
           "\n"
           "  -o PATH              output file for one input, folder for several\n"
           "                       (default: each input's name with .mid beside it)\n"
           "  --config FILE        settings in korvane.ini form (default: korvane.ini\n"
           "                       in the current folder when it exists)\n"
           "  --vol X              velocity scale, 0.02..2 (0.2 keeps the velocities)\n"
           "  --lock N             tuning iterations, 1..7\n"
           "  --harmo N            harmonic subtraction, 0..10\n"
           "  --cpu N              measurement budget, 1200..12000\n"
           "  --sin-exponent X     kernel shape, 0..60\n"
           "  --window-factor X    analysis window scale, 0.3..1.9\n"
           "                       (these five tune the player's analysis, which\n"
           "                       --raw and --player-timing use)\n"
           "  --raw                the player's events exactly as it sends them\n"
           "  --player-timing      the player's times, not moved to the attacks\n"
           "  --shift SECONDS      added to every time\n"
           "  --notes FILE.csv     also write the notes (onset, offset, pitch, velocity)\n"
           "  --wav FILE.wav       also render the MIDI with the built-in synthesizer\n"
           "  --wav-mix FILE.wav   also write the input (left) beside that rendering\n"
           "                       (right), both in mono and time-aligned\n"
           "  --from LIST          also convert the inputs named in LIST, one per line\n"
           "                       (- reads standard input; blank lines are skipped)\n"
           "  --skip-existing      leave an input alone when all its results exist, are\n"
           "                       not older than it and were made with these settings\n"
           "  --jobs N             files converted at once (default: one per core)\n"
           "  -q, --quiet          no progress and no summary\n"
           "  -h, --help           this text\n"
           "  --version            the version\n"
           "\n"
           "Exit status: 0 all converted, 1 a file could not be converted or written,\n"
           "2 a wrong command line, 130 interrupted (Ctrl-C: no half-written file is\n"
           "left; run again with --skip-existing to finish).\n";
}

}  // namespace korvane::converter
