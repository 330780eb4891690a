// The output thread stays clean: while the player's whole chain runs on a
// real output thread (the mixer with the stream and 64 sounds, the master
// callback with speed, automatic volume and compression, reverb, equalizer
// and the analysis ring) and the main thread changes the effects from their
// panels, the fill neither allocates, frees, locks, blocks nor faults a page
// in. The output thread is a test plug-out's, which tells the guard (see
// fill_guard.h) when each fill begins and ends; virtual time passes in real
// time too, at a fraction, so that both threads run side by side.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/input/input_state.h"
#include "app/main_loop.h"
#include "effects/chain/analysis_ring.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "effects/chain/reverb.h"
#include "effects/equalizer_editor.h"
#include "effects/reverb_panel.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/track_control.h"
#include "tests/audio_thread/fill_guard.h"
#include "tests/engine/wav_bytes.h"
#include "tests/playback/test_tracks.h"
#include "tests/scripted_desk.h"
#include "tomidi/midi_output.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/recording_midi.h"

namespace korvane {
namespace {

using guard::Slip;

// A virtual second that the desk sleeps lasts this share of a real one.
constexpr double realShare = 0.15;

constexpr int leftButton = 1;
constexpr int soundCount = 64;

class AudioThreadGuard : public ScriptedDeskTest {
protected:
    using Observe = void (*)(void (*)(), void (*)());

    void SetUp() override {
        openDesk("korvane-guard-");
        desk.onTimeAdvance([](double from, double to) {
            std::this_thread::sleep_for(std::chrono::duration<double>((to - from) * realShare));
        });
        // Loaded here first, so that the engine's load finds it observed and
        // the very first fill is counted.
        plugout = ::dlopen(KORVANE_GUARD_PLUGOUT_DIR "plug-sdl.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(plugout, nullptr) << ::dlerror();
        observe = reinterpret_cast<Observe>(::dlsym(plugout, "TESTPLUG_OBSERVE"));
        ASSERT_NE(observe, nullptr);
        guard::resetCounts();
        observe(guard::enterFill, guard::leaveFill);
        ASSERT_EQ(FBS_SET_PLUGPATH(KORVANE_GUARD_PLUGOUT_DIR), 1);
        ASSERT_EQ(FBS_INIT(44100, 2, 3, 600, 0), 1) << FBS_GET_PLUGERROR();
        ASSERT_STREQ(FBS_GET_PLUGNAME(), "guard");
        installMidiSystem(&midi);
        midiDevice = 0;
    }

    void TearDown() override {
        toMidiActive = 0;
        allNotesOff();
        closeMidiDevice();
        installMidiSystem(nullptr);
        FBS_END_MP3STREAM();
        FBS_DISABLE_MASTERCALLBACK();
        FBS_EXIT();
        if (observe != nullptr) observe(nullptr, nullptr);
        if (plugout != nullptr) ::dlclose(plugout);
        desk.onTimeAdvance(nullptr);
        closeDesk();
    }

    // Waits in real time until the output thread has filled that many more
    // buffers; false when it stalls.
    static bool waitForFills(std::int64_t more) {
        const std::int64_t target = guard::fillCount() + more;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (guard::fillCount() < target)
            if (std::chrono::steady_clock::now() > limit) return false;
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return true;
    }

    // The start-up of runKorvane, on a playlist of stereo, mono and 48 kHz
    // tracks.
    void startPlayer() {
        openMidiDevice();
        prepareEffectStages();
        startTime = desk.clock();
        buildNoteTables();
        buildPhaseTable();
        FBS_SET_MASTERCALLBACK(masterCallback);
        applyEffectSettings();
        playTestTracks({"noise_44100_stereo", "tone_44100_mono", "chords_melody", "tone_48000_stereo"});
    }

    // 64 endless sounds on four waves (made and filled here, made and left
    // silent, loaded from a WAV file and from an MP3 file), at speeds forward
    // and backward, panned across, a few of them muted.
    void startSounds() {
        std::vector<int> waves(4, -1);
        void* samples = nullptr;
        ASSERT_EQ(FBS_CREATE_WAVE(44100, &waves[0], &samples), 1);
        auto* filled = static_cast<std::int16_t*>(samples);
        for (int i = 0; i < 2 * 44100; ++i)
            filled[i] = static_cast<std::int16_t>(3000.0 * std::sin(0.03 * static_cast<double>(i / 2)));
        ASSERT_EQ(FBS_CREATE_WAVE(22050, &waves[1], nullptr), 1);
        std::vector<std::int16_t> saw(2 * 30000);
        for (std::size_t i = 0; i < saw.size(); ++i) saw[i] = static_cast<std::int16_t>((i * 37) % 8000);
        const std::vector<std::uint8_t> wav = engine::test::wav16(2, 44100, saw);
        std::ofstream(folder / "saw.wav", std::ios::binary)
            .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
        ASSERT_EQ(FBS_LOAD_WAVFILE((folder / "saw.wav").c_str(), &waves[2]), 1);
        ASSERT_EQ(FBS_LOAD_MP3FILE(testTrack("piano_a4").c_str(), &waves[3], nullptr), 1);

        constexpr float speeds[] = {1.0f, 0.5f, 1.7f, -1.0f, -0.6f, 2.0f, 0.25f, -1.3f};
        for (int i = 0; i < soundCount; ++i) {
            int& sound = sounds[static_cast<std::size_t>(i)];
            ASSERT_EQ(FBS_CREATE_SOUND(waves[static_cast<std::size_t>(i % 4)], &sound), 1);
            FBS_SET_SOUNDSPEED(sound, speeds[i % 8]);
            FBS_SET_SOUNDVOLUME(sound, 0.02f + 0.01f * static_cast<float>(i % 5));
            FBS_SET_SOUNDPAN(sound, -1.0f + 2.0f * static_cast<float>(i) / (soundCount - 1));
            FBS_SET_SOUNDMUTED(sound, i % 16 == 15 ? 1 : 0);
            ASSERT_EQ(FBS_PLAY_SOUND(sound, 2147483647), 1);
        }
    }

    // The main loop over the given keys (one a pass), then a Space that ends
    // it, queued only once they are read: a track change drops waiting keys.
    void runKeys(std::initializer_list<int> keys) {
        for (int code : keys) desk.pushKey(code);
        desk.pushKeyAt(desk.clock() + 0.5 * static_cast<double>(keys.size()) + 1.0, key::Space);
        keyCode = 0;
        mainLoop();
    }

    // Drags across the equalizer's chart with the left button, one reading
    // per poll, stepping the order through 1..4 along the way; q closes it.
    void editEqualizer() {
        for (int step = 0; step < 40; ++step)
            desk.pushMouse({8 * step + 4, 10 + (step * 7) % 80, 0, leftButton});
        for (int press = 1; press <= 3; ++press) desk.pushKeyAt(desk.clock() + 2.0 * press, 'o');
        desk.pushKeyAt(desk.clock() + 7.0, 'q');
        equalizerEditor();
    }

    // Clicks along the four bars of the reverb3 panel, each change heard at
    // once; q closes it, as the T key's panel does.
    void editReverb() {
        for (int step = 0; step < 24; ++step) desk.pushMouse({9 * step, 20 + 19 * (step % 4), 0, leftButton});
        desk.pushKeyAt(desk.clock() + 3.0, 'q');
        reverbPanel(reverb3, "reverb3");
        reverbSetup();
    }

    void* plugout = nullptr;
    Observe observe = nullptr;
    std::array<int, soundCount> sounds{};
    RecordingMidi midi;
};

}  // namespace

// --- The guard's own check: each kind of slip, made by a master callback
// that the guard's report can name.

// Sixty-four pages that only the callback below touches, a fresh one per call.
volatile char untouchedPages[64 * 4096];
// Where the callback's allocation escapes to: unused, it could be left out
// by the compiler (clang does).
const int* volatile escaped = nullptr;

int slippingCallback(void*, int, int) {
    static int fillsToTouch = 0;
    const std::vector<int> made(10);  // an allocation and a free
    escaped = made.data();
    static std::mutex lock;
    { const std::lock_guard<std::mutex> held(lock); }
    const timespec moment{0, 1000};
    ::nanosleep(&moment, nullptr);
    if (fillsToTouch < 64) untouchedPages[fillsToTouch++ * 4096] = static_cast<char>(made.size());
    return 0;
}

namespace {

TEST_F(AudioThreadGuard, SeesEverySlipOfAStage) {
    FBS_SET_MASTERCALLBACK(slippingCallback);
    FBS_ENABLE_MASTERCALLBACK();
    ASSERT_TRUE(waitForFills(20));
    FBS_DISABLE_MASTERCALLBACK();
    const std::string seen = guard::report();
    for (const Slip kind : {Slip::Allocation, Slip::Free, Slip::Lock, Slip::Blocking})
        EXPECT_GE(guard::slips(kind), 20) << seen;
    // One fault at least: with transparent huge pages on, one fault may map
    // all sixty-four pages.
    EXPECT_GE(guard::slips(Slip::PageFault), 1) << seen;
    for (const char* what : {"first: operator new", "first: operator delete", "first: pthread_mutex_lock",
                             "first: nanosleep", "slippingCallback"})
        EXPECT_NE(seen.find(what), std::string::npos) << what << " missing from\n" << seen;
}

// --- The player.


TEST_F(AudioThreadGuard, PlayerNeitherAllocatesLocksBlocksNorFaultsWithEveryEffectOn) {
    startPlayer();
    ASSERT_NO_FATAL_FAILURE(startSounds());
    desk.sleepMs(1000);
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), soundCount);

    // Speed 80 at the prompt, automatic volume with the strongest
    // compression, reverb3, the equalizer, and the next track.
    runKeys({'s', '8', '0', key::Enter, 'a', 'a', 'a', 'a', 'a', 'a', 'r', 'r', 'r', 'g', key::Right});
    ASSERT_EQ(speed, 80.0f);
    ASSERT_EQ(autovolMode, 6);
    ASSERT_EQ(reverbMode, 3);
    ASSERT_EQ(equalizerOn, 1);

    // The toMidi panel for a few seconds, then the ring stays fed while the
    // panels change the equalizer and the echo.
    desk.pushKey('m');
    desk.pushKeyAt(desk.clock() + 4.0, key::Escape);
    desk.pushKeyAt(desk.clock() + 4.5, key::Space);
    keyCode = 0;
    mainLoop();
    toMidiActive = 1;
    const int ringBefore = analysisRing.writePos;
    editEqualizer();
    editReverb();
    // Reverb off (its line cleared) and round to reverb3 again.
    runKeys({'r', 'r', 'r', 'r'});
    desk.sleepMs(2000);
    EXPECT_NE(analysisRing.writePos, ringBefore) << "the ring was fed";
    EXPECT_EQ(FBS_GET_PLAYINGSOUNDS(), soundCount);

    FBS_DISABLE_MASTERCALLBACK();
    observe(nullptr, nullptr);
    EXPECT_GT(guard::fillCount(), 1000);
    std::array<std::int64_t, guard::slipKinds> slips{};
    for (int kind = 0; kind < guard::slipKinds; ++kind) slips[kind] = guard::slips(static_cast<Slip>(kind));
    EXPECT_EQ(slips, (std::array<std::int64_t, guard::slipKinds>{})) << guard::report();
}

}  // namespace
}  // namespace korvane
