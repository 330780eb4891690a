// korvane-tomidi's command line: what to convert, where the results go, and
// the toMidi settings and timing to use.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane::converter {

// Exit statuses: a file failed (the others are still converted), the
// command line was wrong, or the batch was interrupted (SIGINT: 128 + 2).
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

struct Options {
    std::vector<std::string> inputs;  // MP3 files or folders, in command-line order
    std::vector<std::string> lists;   // --from: files of inputs, one per line ("-": standard input)
    bool skipExisting = false;        // leave inputs whose results are up to date
    std::string output;               // -o: a file for one input, a folder for several
    std::string config;               // --config; empty: korvane.ini here when it exists
    std::optional<float> vol;         // the toMidi settings given on the command line
    std::optional<int> lock;
    std::optional<int> harmo;
    std::optional<int> cpu;
    std::optional<float> sinExponent;
    std::optional<float> windowFactor;
    int jobs = 0;                     // files converted at once; 0: one per core
    std::string notes;                // --notes: CSV of the notes (file, or folder for several)
    std::string wav;                  // --wav: the MIDI rendered by the synthesizer
    std::string wavMix;               // --wav-mix: the input left, that rendering right
    bool raw = false;                 // the player's own events, not the learned analysis's notes
    bool playerTiming = false;        // the player's events at its times, not moved to the attacks
    double shift = 0.0;               // seconds added to every time
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// The parsed command line, or the message that explains what is wrong.
struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line is good
};
ParsedOptions parseOptions(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace korvane::converter
