#include "tools/converter/conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/main_loop.h"
#include "app/window/scripted_platform.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/recording_midi.h"
#include "tomidi/tomidi_frame.h"

namespace korvane::converter {

namespace {

constexpr int outputRate = 44100;
constexpr int outputFrames = 600;
constexpr double bufferSeconds = static_cast<double>(outputFrames) / outputRate;
// A stream that has given nothing after this long never will.
constexpr double silentStart = 5.0;

ScriptedPlatform desk;
RecordingMidi midi;

// Buffers pulled since the stream was started, and what the virtual clock
// still owes the output.
std::int64_t buffersPulled = 0;
double owed = 0.0;

void pullFor(double seconds) {
    owed += seconds;
    while (owed >= bufferSeconds) {
        const void* buffer = nullptr;
        FBS_HOST_PULLBUFFER(&buffer);
        owed -= bufferSeconds;
        ++buffersPulled;
    }
}

// The loudest left + right seen by measureSum, and who is given the samples.
// The host-driven output runs it on the main thread.
int loudest = 0;
const SampleSink* sampleSink = nullptr;
std::vector<std::int16_t> stereo;
int measureSum(void* buffer, int channels, int frames) {
    const auto* samples = static_cast<const std::int16_t*>(buffer);
    const bool giving = sampleSink != nullptr && *sampleSink;
    if (giving) stereo.resize(2 * static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const int left = samples[channels == 2 ? 2 * i : i];
        const int right = samples[channels == 2 ? 2 * i + 1 : i];
        loudest = std::max(loudest, std::abs(left + right));
        if (giving) {
            stereo[2 * static_cast<std::size_t>(i)] = static_cast<std::int16_t>(left);
            stereo[2 * static_cast<std::size_t>(i) + 1] = static_cast<std::int16_t>(right);
        }
    }
    if (giving) (*sampleSink)(stereo.data(), frames);
    return 0;
}

// Runs frames while the stream plays and for `tail` seconds after it ends,
// telling how far the audio has come after each frame.
class PassSteps : public FrameSteps {
public:
    PassSteps(double length, const ProgressReport& progress) : length_(length), progress_(progress) {}

    void afterTracking() override {
        const double audio = static_cast<double>(buffersPulled) * bufferSeconds;
        if (progress_ && length_ > 0) progress_(std::min(1.0, audio / length_), audio);
    }

private:
    double length_;
    const ProgressReport& progress_;
};

// The longest a row's events wait after their attack, and a little more for
// the note to be decided.
double longestLag() {
    double lag = 0.0;
    for (int row = 0; row < noteRowCount; ++row) lag = std::max(lag, rowLag(row));
    return lag + 0.2;
}

}  // namespace

double rowLag(int row) {
    const NoteRow& r = noteRows[static_cast<std::size_t>(row)];
    return r.windowLength / static_cast<double>(outputRate) + r.outputDelay;
}

bool ConversionRun::start(std::string& error) {
    installPlatform(&desk);
    desk.setTimeLimit(1e12);
    desk.onTimeAdvance([](double from, double to) { pullFor(to - from); });
    installMidiSystem(&midi);
    if (FBS_USE_HOSTOUTPUT(1) != 1 || FBS_INIT(outputRate, 2, 3, outputFrames, 0) != 1) {
        const char* reason = FBS_GET_PLUGERROR();
        error = std::string("the sound engine did not start") + (reason != nullptr && *reason ? ": " : "") +
                (reason != nullptr ? reason : "");
        return false;
    }
    started_ = true;
    prepareEffectStages();
    buildNoteTables();
    buildPhaseTable();
    FBS_SET_MASTERCALLBACK(masterCallback);
    applyEffectSettings();
    openMidiDevice();
    return true;
}

ConversionRun::~ConversionRun() {
    if (!started_) return;
    FBS_END_MP3STREAM();
    FBS_DISABLE_MASTERCALLBACK();
    FBS_EXIT();
    closeMidiDevice();
    installMidiSystem(nullptr);
    desk.onTimeAdvance(nullptr);
}

int ConversionRun::loudestSum(const std::string& path, const SampleSink& sink) {
    FBS_DISABLE_MASTERCALLBACK();
    loudest = 0;
    sampleSink = &sink;
    int result = -1;
    if (FBS_CREATE_MP3STREAM(path.c_str()) == 1) {
        FBS_SET_STREAMCALLBACK(measureSum);
        FBS_ENABLE_STREAMCALLBACK();
        FBS_PLAY_MP3STREAM(1.0f, 0.0f);
        bool sounded = false;
        for (int pulls = 0;; ++pulls) {
            const void* buffer = nullptr;
            FBS_HOST_PULLBUFFER(&buffer);
            const bool streaming = FBS_GET_PLAYINGSTREAMS() > 0;
            sounded = sounded || streaming;
            if ((sounded && !streaming) || (!sounded && pulls * bufferSeconds > silentStart)) break;
        }
        if (sounded) result = loudest;
        FBS_DISABLE_STREAMCALLBACK();  // it would stay with the next stream
        FBS_END_MP3STREAM();
    }
    sampleSink = nullptr;
    applyEffectSettings();
    return result;
}

std::vector<TimedMessage> ConversionRun::play(const std::string& path, double length,
                                              const ProgressReport& progress) {
    std::vector<TimedMessage> messages;
    allNotesOff();
    // Every pass tracks from scratch: a row the last pass left marked as
    // sounding would send a note-off it never started, or hold back its
    // first note-on.
    noteTracks = {};
    resetAnalysis();
    kz0 = 1.0f;
    midi.messages.clear();
    resetOutputFlags();  // not playing: the converter ends the track itself
    toMidiActive = 1;
    resetSpeedStage();

    if (FBS_CREATE_MP3STREAM(path.c_str()) != 1) return messages;
    // The stream callback stays from stream to stream: none for this one,
    // which plays as the player plays it.
    FBS_SET_STREAMCALLBACK(nullptr);
    FBS_PLAY_MP3STREAM(1.0f, 0.0f);
    const double begin = desk.clock();
    buffersPulled = 0;
    owed = 0.0;

    PassSteps steps(length, progress);
    startFrames();
    const double tail = longestLag();
    bool sounded = false;
    double endedAt = -1.0;
    for (;;) {
        runFrame(steps);
        const bool streaming = FBS_GET_PLAYINGSTREAMS() > 0;
        sounded = sounded || streaming;
        const double now = desk.clock();
        if (!sounded && now - begin > silentStart) break;
        if (sounded && !streaming && endedAt < 0) endedAt = now;
        if (endedAt >= 0 && now - endedAt >= tail) break;
    }
    allNotesOff();  // the track's end
    FBS_END_MP3STREAM();
    toMidiActive = 0;
    // The player chose the program when its output opened, before any track.
    messages.push_back({0.0, programChangeMessage()});
    for (const RecordingMidi::Message& message : midi.messages)
        messages.push_back({message.time - begin, message.packed});
    return messages;
}

}  // namespace korvane::converter
