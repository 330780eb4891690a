// Fuzz target: the toMidi analysis on ring contents the master callback can
// write. The input's first bytes choose every effect setting and toMidi
// setting a korvane.ini can hold, the rest is 16-bit stereo output (repeated
// to the length the settings ask for) that runs through masterCallback with
// toMidi on, on the player's output format; then a few 25 ms frames tune, measure and track as the panel does.
// The ring, the levels, the tuning step and every note event must stay in
// range.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/window/scripted_platform.h"
#include "effects/chain/analysis_ring.h"
#include "effects/chain/auto_volume.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/equalizer.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "tests/fuzz/fuzz_support.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/recording_midi.h"
#include "tomidi/tomidi_panel.h"
#include "tomidi/tomidi_settings.h"

namespace {

using namespace korvane;

void check(bool condition, const std::string& what) { fuzz::check(condition, "analysis_frame", what); }

// The input's settings bytes, taken in order; zeros once they run out.
class Settings {
public:
    Settings(const std::uint8_t*& data, std::size_t& size) {
        const std::size_t taken = std::min(size, sizeof bytes_);
        std::memcpy(bytes_, data, taken);
        data += taken;
        size -= taken;
    }
    std::uint8_t byte() { return bytes_[next_++]; }
    int pick(int low, int high) { return low + byte() % (high - low + 1); }
    // low .. high in 65536 steps.
    float real(float low, float high) {
        const int step = byte() | byte() << 8;
        return low + (high - low) * static_cast<float>(step) / 65535.0f;
    }

private:
    std::uint8_t bytes_[48] = {};
    std::size_t next_ = 0;
};

// Checks each note event as it is queued.
class EventCheck : public NoteEventWatcher {
public:
    void queued(const QueuedNoteEvent& e) override {
        check(e.row >= 0 && e.row < noteRowCount && e.note == lowestNote + e.row, "an event's row and note");
        check(e.noteOn ? e.velocity >= 1 && e.velocity <= 127 : e.velocity == 0,
              "velocity " + std::to_string(e.velocity));
        check(std::isfinite(e.due), "an event's time");
    }
};

ScriptedPlatform desk;
RecordingMidi midi;
EventCheck eventCheck;

void startOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    installPlatform(&desk);
    desk.setTimeLimit(1e12);
    installMidiSystem(&midi);
    midiDevice = 0;
    openMidiDevice();
    // The player's output: the equalizer and the reverb take its rate.
    FBS_USE_HOSTOUTPUT(1);
    check(FBS_INIT(44100, 2, 3, 600, 0) == 1, "the engine did not start");
    prepareEffectStages();
    buildNoteTables();
    buildPhaseTable();
    watchNoteEvents(&eventCheck);
}

// Every setting from the input, within what a korvane.ini can give the
// callback and the analysis after start-up.
void applySettings(Settings& s) {
    speed = s.real(40, 100);
    volume = s.real(0.02f, 1.7f);
    autovolMode = s.pick(-1, 7);  // the file does not limit the modes
    reverbMode = s.pick(-1, 4);
    equalizerOn = s.pick(0, 2);
    eqOrder = s.pick(1, 4);
    stopped = s.pick(0, 1);
    for (ReverbPreset* preset : {&reverb2, &reverb3}) {
        *preset = {s.real(0, 0.7f), s.real(0, 0.7f), s.real(10, 1000), s.real(10, 1000)};
        limitReverbPreset(*preset);
    }
    equalizer = {s.pick(0, 255) * 80 + 20, s.pick(0, 255) * 80 + 20, s.real(0, 10), s.real(0, 10), s.real(0, 10)};
    limitEqualizerSettings(equalizer);
    ToMidiSettings& t = toMidiSettings;
    t = {s.real(0.02f, 2), s.pick(1, 10), s.pick(-2, 12), s.pick(0, 255) * 42 + 1200, s.real(0, 60),
         s.real(0.3f, 1.9f)};
    kz0 = s.real(0.9f, 1.1f);
}

// The stages set up from the input's settings and the tracking started
// afresh, as when korvane starts and opens the toMidi panel.
void startWithSettings() {
    lastSoundTime = desk.clock();
    autoVolumeReset();
    reverbSetup();
    equalizerSetup();
    masterCallback(nullptr, plugChannels, 0);  // takes the setups

    buildNoteTables();
    resetAnalysis();
    clearNoteEventQueues();
    allNotesOff();
    midi.messages.clear();
    toMidiActive = 1;
}

void checkRingAndLevels() {
    for (const std::atomic<float>& entry : analysisRing.samples)
        check(std::isfinite(entry.load(std::memory_order_relaxed)), "a ring entry that is not finite");
    for (const NoteRow& row : noteRows)
        check(row.noteLevel >= 0 && std::isfinite(row.noteLevel), "level " + std::to_string(row.noteLevel));
    check(kz0 >= 0.9f && kz0 <= 1.1f, "kz0 " + std::to_string(kz0));
    check(peakRow >= 0 && peakRow < noteRowCount, "peakRow " + std::to_string(peakRow));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    startOnce();
    // Everything the callback and the analysis keep as the program starts
    // (this thread runs the callback), then the input's settings.
    resetEffectChain();
    resetToMidi();
    Settings settings(data, size);
    applySettings(settings);
    startWithSettings();
    const int channels = plugChannels;
    // 0.1 .. 1 s of output, in calls of 10 .. 1200 frames, then 1 .. 4
    // analysis frames. Windows are up to 2 s long: a ring not yet filled
    // holds silence at the far end, as when toMidi has just started.
    const int totalFrames = settings.pick(1, 10) * 4410;
    const int framesPerCall = settings.pick(1, 120) * 10;
    const int frameCount = settings.pick(1, 4);

    std::vector<std::int16_t> input(size / 2);
    if (input.empty()) input.push_back(0);
    std::memcpy(input.data(), data, std::min(size, input.size() * 2));
    std::vector<std::int16_t> buffer(static_cast<std::size_t>(framesPerCall) * channels);
    std::size_t from = 0;
    for (int frame = 0; frame < frameCount; ++frame) {
        for (int done = 0; done < totalFrames / frameCount; done += framesPerCall) {
            for (std::int16_t& sample : buffer) {
                sample = input[from];
                from = (from + 1) % input.size();
            }
            desk.advance(framesPerCall / 44100.0);
            masterCallback(buffer.data(), channels, framesPerCall);
            check(std::all_of(buffer.begin(), buffer.end(), [](std::int16_t s) { return s == 0; }),
                  "toMidi let sound through");
        }
        const double now = desk.clock();
        tuneStep();
        measureAllRows();
        trackNotes(now);
        dispatchDueEvents(now + 1.0);
        checkRingAndLevels();
    }
    for (const RecordingMidi::Message& message : midi.messages) {
        const std::uint32_t status = message.packed & 0xFF;
        const std::uint32_t data1 = message.packed >> 8 & 0xFF;
        const std::uint32_t data2 = message.packed >> 16 & 0xFF;
        check(status >= 0x80 && data1 < 128 && data2 < 128 && message.packed < (1u << 24),
              "a malformed MIDI message " + std::to_string(message.packed));
    }
    toMidiActive = 0;
    return 0;
}
