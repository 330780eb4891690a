// korvane-tomidi's batch: which files to convert and where their results
// go, and running the conversions side by side, one process each (the
// engine is one per process), with a progress line or a summary per file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tools/converter/options.h"

namespace korvane::converter {

// One file to convert and the paths of its results (notes, wav and wavMix
// empty when not asked for).
struct Job {
    std::string input;
    std::string output;
    std::string notes = {};
    std::string wav = {};
    std::string wavMix = {};
};

// Adds the inputs named in the file `list` ("-": standard input), one path
// per line as it stands (spaces and any bytes kept; a CR before the line
// end is dropped), blank lines skipped. False, with the reason, when the
// list cannot be read.
bool readInputList(const std::string& list, std::vector<std::string>& inputs, std::string& error);

// The jobs for the command line: a folder stands for its ".mp3" files
// (searched recursively, in name order), each written to the same relative
// path under -o; without -o each result goes beside its input.
std::vector<Job> planJobs(const Options& options);

// What a conversion tells the batch while it runs: the share of the file
// done (0..1) and the seconds of audio converted so far.
using ProgressReport = std::function<void(double done, double audioSeconds)>;

// How a conversion ended: on success a short summary ("112 notes"), else
// the reason ("no MPEG audio frame", "cannot write out.mid: disk full").
struct Outcome {
    bool ok = false;
    std::string text;
};
using Converter = std::function<Outcome(const Job&, const ProgressReport&)>;

// Runs every job, at most `jobs` at once, each in a process of its own.
// Prints a progress bar on standard error when it is a terminal (files done,
// share of the audio, speed, time left), else one line per file; then, for
// several inputs, a summary that counts the converted, the `skipped` (left
// out before the batch) and the failed files. Nothing in quiet mode but failures. The exit
// status: 0 when all converted, exitFailed otherwise, exitInterrupted after
// SIGINT: no other job starts and the running ones stop, each before it
// puts its results in place or after, never between.
int runJobs(const std::vector<Job>& list, int jobs, bool quiet, std::size_t skipped, const Converter& convert);

}  // namespace korvane::converter
