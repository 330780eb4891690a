// One MP3 file through the player's engine in virtual time, run as fast as
// the processor allows: the engine on its host-driven output decodes the
// file for the converter's own analysis, and for --raw and --player-timing
// plays it through the player's toMidi path (the master callback feeding
// the analysis ring, the toMidi frame every 25 ms of a virtual clock). The
// engine is one per process, so one process converts one file (see
// batch.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/converter/batch.h"
#include "tools/converter/midi_file.h"
#include "tools/converter/options.h"

namespace korvane::converter {

// Receives decoded audio: `frames` interleaved stereo sample pairs.
using SampleSink = std::function<void(const std::int16_t* stereo, int frames)>;

// How long a row's events trail their attack in the player: its window
// fills, then its output delay passes.
double rowLag(int row);

// The engine and the virtual clock of this process; the toMidi settings,
// effects and tables as the player has them. Start once per process.
class ConversionRun {
public:
    // False, with the reason, when the engine cannot start.
    bool start(std::string& error);
    ~ConversionRun();

    // The loudest left + right sample the stream gives, or -1 when the file
    // gives no audio. sink, when set, is given the stream's samples as the
    // decoder gives them: interleaved stereo at 44100 Hz from the start of
    // the track, the time of the analysis's spectrum and of the player's events.
    int loudestSum(const std::string& path, const SampleSink& sink = {});

    // Plays the file through the toMidi path once, from a fresh start (notes
    // off, note tracking and ring cleared, kz0 1), with the chain's volume as
    // set: what the player sent, at audio times, from the program change.
    // progress(fraction, seconds) is told how far it is.
    std::vector<TimedMessage> play(const std::string& path, double length, const ProgressReport& progress);

private:
    bool started_ = false;
};

// Converts one job with the settings of the command line; the outcome
// names what failed.
Outcome convertJob(const Job& job, const Options& options, const ProgressReport& progress);

}  // namespace korvane::converter
