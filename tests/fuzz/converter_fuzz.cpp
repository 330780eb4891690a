// Fuzz target: korvane-tomidi on any bytes as an MP3 file, one conversion
// (convertJob) per input as the tool runs one per process, in the mode the
// input's length picks (the learned analysis, raw, or raw with the player's
// timing). A failed conversion must leave no output file; a successful one a
// MIDI file that parses, whose notes all end (by a note-off, or by the All
// Notes Off the player sends at the track's end, which --player-timing keeps
// as the player's own events), and that ends with the end of the track.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/text/text_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/converter/conversion.h"
#include "tools/converter/settings.h"

namespace {

using namespace korvane::converter;

void check(bool condition, const std::string& what) { korvane::fuzz::check(condition, "converter", what); }

// Longer inputs are not converted: garbage that decodes can play for
// seconds per kilobyte, each second a few frames of analysis.
constexpr std::size_t kLargestInput = 4096;

std::uint32_t bigEndian(const std::string& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

// Walks the file as a MIDI reader would and checks what korvane-tomidi
// promises: format 0, one track, whole events without running status,
// every note ended, the end-of-track event last.
//
// With the player's own events (--player-timing) a note-off may come for a
// note not sounding, as the player sends it when a full event queue dropped
// the note-on: harmless to any synthesizer or reader. Otherwise every
// note-off ends a note-on.
void checkMidiFile(const std::string& file, bool playersEvents) {
    check(file.size() >= 22 && file.compare(0, 4, "MThd") == 0 && bigEndian(file, 4, 4) == 6 &&
              bigEndian(file, 8, 2) == 0 && bigEndian(file, 10, 2) == 1 && file.compare(14, 4, "MTrk") == 0,
          "a bad MIDI header");
    check(22 + std::size_t{bigEndian(file, 18, 4)} == file.size(), "the track's length is not the file's");
    std::vector<int> sounding(128, 0);
    std::size_t at = 22;
    bool ended = false;
    while (at < file.size()) {
        check(!ended, "events after the end of the track");
        int lengthBytes = 0;
        while (at < file.size() && (static_cast<std::uint8_t>(file[at]) & 0x80) != 0) ++at, ++lengthBytes;
        check(at < file.size() && lengthBytes < 4, "a bad delta time");
        ++at;
        check(at < file.size(), "a delta time without an event");
        const int status = static_cast<std::uint8_t>(file[at]);
        check(status >= 0x80, "running status");
        std::size_t length = (status & 0xF0) == 0xC0 ? 2 : 3;
        if (status == 0xFF) {  // type, then a variable-length size
            std::size_t size = 0, sizeBytes = 0;
            for (std::uint8_t byte = 0x80; (byte & 0x80) != 0 && sizeBytes < 4; ++sizeBytes) {
                check(at + 2 + sizeBytes < file.size(), "a cut meta event");
                byte = static_cast<std::uint8_t>(file[at + 2 + sizeBytes]);
                size = size << 7 | (byte & 0x7F);
            }
            length = 2 + sizeBytes + size;
            ended = file[at + 1] == 0x2F;
        }
        check(at + length <= file.size(), "a cut event");
        for (std::size_t i = 1; i < length && status != 0xFF; ++i)
            check((static_cast<std::uint8_t>(file[at + i]) & 0x80) == 0, "a data byte with its high bit");
        const int note = at + 1 < file.size() ? file[at + 1] : 0;
        // All Notes Off, which the player sends at a track's end.
        if ((status & 0xF0) == 0xB0 && note == 123) sounding.assign(128, 0);
        if ((status & 0xF0) == 0x90 && file[at + 2] != 0) ++sounding[note];
        if ((status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && file[at + 2] == 0)) {
            check(sounding[note] > 0 || playersEvents, "a note-off without its note-on");
            sounding[note] = std::max(0, sounding[note] - 1);
        }
        at += length;
    }
    check(ended, "no end of track");
    for (int note = 0; note < 128; ++note) check(sounding[note] == 0, "note " + std::to_string(note) + " never ends");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kLargestInput) return 0;
    static const korvane::fuzz::TemporaryFile input("convert", ".mp3");
    static const korvane::fuzz::TemporaryFile output("convert", ".mid");
    input.write(data, size);
    std::remove(output.path().c_str());

    Options options;
    options.inputs = {input.path()};
    options.raw = size % 3 != 0;
    options.playerTiming = size % 3 == 2;
    std::string error;
    // Every conversion starts from the settings, as each runs in a process of its own.
    check(applySettings(options, error), "settings: " + error);
    const Outcome outcome = convertJob({input.path(), output.path()}, options, [](double, double) {});

    std::string written;
    const bool exists = korvane::readTextFile(output.path(), written);
    if (!outcome.ok) {
        check(!outcome.text.empty(), "a failure without a reason");
        check(!exists, "a failed conversion left " + output.path());
        return 0;
    }
    check(exists, "a conversion reported done wrote nothing");
    checkMidiFile(written, options.playerTiming);
    return 0;
}
