// One job: checks the input, runs the passes the output needs, and writes
// every result through a temporary file, so a failure leaves none behind
// and keeps the results of an earlier run.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/text/number_text.h"
#include "app/text/text_file.h"
#include "playback/track_length.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/tomidi_settings.h"
#include "tools/converter/analysis/threaded_analysis.h"
#include "tools/converter/conversion.h"
#include "tools/converter/decoded_spectrum.h"
#include "tools/converter/note_output.h"
#include "tools/converter/resume.h"
#include "tools/converter/velocities.h"

namespace korvane::converter {

namespace {

namespace fs = std::filesystem;

// The player decides a note when its level stops rising, one window after
// the attack, sends it outputDelay later and checks its queue once a frame;
// on the evaluation corpus its events come this much after the attack in
// the decoded MP3 besides window and delay.
constexpr double decisionDelay = 0.1;
// The note model's onsets are those of the decoded MP3, which starts later
// than the encoded audio by the encoder's look-ahead and the synthesis
// filter's delay (in samples at the file's rate), and by the Info frame that
// plays as a frame of silence.
constexpr int encoderAndDecoderDelay = 576 + 529;

double codecDelay(const StreamStart& start) {
    if (start.sampleRate <= 0) return 0.0;
    const int samples = encoderAndDecoderDelay + (start.summaryFrame ? start.frameSamples : 0);
    return samples / static_cast<double>(start.sampleRate);
}

std::string systemReason() { return std::strerror(errno); }

// A sink keeping the decoded samples in `decoded`, or none without it.
SampleSink keepingIn(std::vector<std::int16_t>* decoded) {
    if (decoded == nullptr) return {};
    return [decoded](const std::int16_t* stereo, int frames) {
        decoded->insert(decoded->end(), stereo, stereo + 2 * static_cast<std::ptrdiff_t>(frames));
    };
}

// What the converter knows of an input before decoding it.
struct InputAudio {
    double seconds = 0.0;  // its playing time
    StreamStart start;
};

// Why the input cannot be converted, or "" when it can, with what is known of it.
std::string checkInput(const std::string& path, InputAudio& audio) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return systemReason();
    if (S_ISDIR(info.st_mode)) return "is a folder";
    std::string reply;
    switch (queryLengthService(path, reply, &audio.start)) {
    case lengthServiceOk: break;
    case lengthServiceCannotOpen: return "cannot be read";
    default: return "holds no MPEG audio frame";
    }
    audio.seconds = parseNumber(reply) / 1000.0;
    return {};
}

// The player's events, each moved earlier by the lag of the row it came
// from (its window, its delay and the deciding frame), never before 0 and
// every note-off still after its note-on.
std::vector<OutputNote> alignedNotes(const std::vector<OutputNote>& notes) {
    std::vector<OutputNote> aligned;
    for (OutputNote note : notes) {
        const int row = note.note - lowestNote;
        if (row >= 0 && row < noteRowCount) {
            const double lag = rowLag(row) + decisionDelay;
            note.onset = std::max(0.0, note.onset - lag);
            note.offset = std::max(note.onset + 0.001, note.offset - lag);
        }
        aligned.push_back(note);
    }
    std::stable_sort(aligned.begin(), aligned.end(),
                     [](const OutputNote& a, const OutputNote& b) { return a.onset < b.onset; });
    return aligned;
}

// The analysis's notes with their velocities (each note's peak against the
// file's loudest notes), moved earlier by the codec delay to the times of the
// encoded audio.
std::vector<OutputNote> outputNotes(const std::vector<RefinedNote>& found, double delay) {
    std::vector<float> peaks;
    for (const RefinedNote& note : found) peaks.push_back(note.peakLevel);
    const std::vector<int> velocities = noteVelocities(peaks, toMidiSettings.vol);
    std::vector<OutputNote> notes;
    for (std::size_t i = 0; i < found.size(); ++i)
        notes.push_back({std::max(0.0, found[i].onset - delay), std::max(0.001, found[i].offset - delay),
                         found[i].note, velocities[i]});
    return notes;
}

// The notes of the learned analysis: the decoded file's spectrum, the note
// model and its note decisions on a thread of their own.
std::vector<OutputNote> learnedNotes(ConversionRun& run, const std::string& path, const InputAudio& audio,
                                   std::vector<std::int16_t>* decoded, const ProgressReport& progress,
                                   std::string& error) {
    ThreadedAnalysis analysis;
    std::int64_t frames = 0;
    const auto analyse = [&](const SpectrumFrame& frame) {
        analysis.push(frame);
        const double time = spectrumFrameTime(++frames);
        if (progress && audio.seconds > 0 && frames % 256 == 0)
            progress(std::min(1.0, time / audio.seconds), time);
    };
    if (!decodedSpectrum(run, path, analyse, keepingIn(decoded))) {
        error = "gives no audio";
        return {};
    }
    return outputNotes(analysis.finish(), codecDelay(audio.start));
}

// Replaces every (path, bytes) pair, all or none: each is written in full
// beside its target before any is put in place, so a failure (a full disk)
// keeps every old file. On a failure names the file.
std::string writeAll(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<FileReplacement> prepared;
    for (const auto& [path, bytes] : files) {
        std::error_code ignored;
        const fs::path parent = fs::path(path).parent_path();
        if (!parent.empty()) fs::create_directories(parent, ignored);
        errno = 0;
        FileReplacement& replacement = prepared.emplace_back();
        if (!replacement.prepare(path, bytes))
            return "cannot write " + path + ": " + (errno != 0 ? systemReason() : "write failed");
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        errno = 0;
        if (!prepared[i].commit())
            return "cannot write " + files[i].first + ": " + (errno != 0 ? systemReason() : "write failed");
    }
    return {};
}

}  // namespace

Outcome convertJob(const Job& job, const Options& options, const ProgressReport& progress) {
    const auto began = std::chrono::steady_clock::now();
    InputAudio audio;
    if (const std::string reason = checkInput(job.input, audio); !reason.empty()) return {false, reason};
    const double seconds = audio.seconds;

    const bool raw = options.raw || options.playerTiming;
    ConversionRun run;
    std::string error;
    if (!run.start(error)) return {false, error};

    std::vector<OutputNote> notes;
    std::vector<TimedMessage> messages;
    std::vector<std::int16_t> decoded;
    std::vector<std::int16_t>* keepDecoded = job.wavMix.empty() ? nullptr : &decoded;
    if (raw) {
        if (keepDecoded != nullptr && run.loudestSum(job.input, keepingIn(keepDecoded)) < 0) return {false, "gives no audio"};
        messages = run.play(job.input, seconds, progress);
        if (!options.playerTiming) {
            notes = alignedNotes(notesOfMessages(messages));
            messages = messagesOfNotes(notes, messages.empty() ? seconds : messages.back().time);
        }
    } else {
        notes = learnedNotes(run, job.input, audio, keepDecoded, progress, error);
        if (!error.empty()) return {false, error};
        messages = messagesOfNotes(notes, seconds);
    }
    for (TimedMessage& message : messages) message.time = std::max(0.0, message.time + options.shift);
    notes = notesOfMessages(messages);

    std::vector<std::pair<std::string, std::string>> files;
    if (!job.wav.empty() || !job.wavMix.empty()) {
        // The player's velocities are played as the player plays them.
        std::string wav = renderedWav(messages, messages.empty() ? 0.0 : messages.back().time,
                                      raw ? playerVoicing : fileVoicing, error);
        if (wav.empty()) return {false, error};
        if (!job.wavMix.empty()) {
            std::string mix = mixedWav(decoded, wav, error);
            if (mix.empty()) return {false, error};
            files.emplace_back(job.wavMix, std::move(mix));
        }
        if (!job.wav.empty()) files.emplace_back(job.wav, std::move(wav));
    }
    if (!job.notes.empty()) files.emplace_back(job.notes, notesCsv(notes));
    files.emplace_back(job.output, midiFileBytes(messages, conversionRecord(options)));
    if (const std::string failure = writeAll(files); !failure.empty()) return {false, failure};

    progress(1.0, seconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    char summary[128];
    std::snprintf(summary, sizeof summary, "%zu notes, %.1f s of audio in %.2f s (%.0fx real time)",
                  notes.size(), seconds, wall, wall > 0 ? seconds / wall : 0.0);
    return {true, summary};
}

}  // namespace korvane::converter
