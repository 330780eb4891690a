// A scripted desk for playback tests: the scripted platform with the main
// window open, the engine on its host-driven output pulled in step with the
// virtual clock (one 600-frame buffer per 600/44100 s that passes), the
// master callback registered, a fresh temporary working folder, and the
// input, the playback and the effect chain back at their start values.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/input/input_state.h"
#include "app/main_loop.h"
#include "app/main_panel.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "effects/chain/master_callback.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/playlist.h"
#include "playback/playlist_panel.h"
#include "playback/track_control.h"
#include "tests/playback/test_tracks.h"
#include "tests/scripted_desk.h"

namespace korvane {

// Three seconds each, playable by the engine.
inline const std::vector<std::string>& playableTracks() {
    static const std::vector<std::string> tracks = {
        testTrack("tone_44100_stereo"), testTrack("tone_48000_stereo"),
        testTrack("tone_22050_stereo"), testTrack("tone_44100_mono")};
    return tracks;
}

class PlaybackTest : public ScriptedDeskTest {
public:
    // The program's ending (errorExit) inside a test would pass it unseen:
    // outside the death tests that expect it, it fails the run instead.
    static inline bool endExpected = false;

protected:
    static constexpr int outputFrames = 600;
    static constexpr double bufferSeconds = outputFrames / 44100.0;

    void SetUp() override {
        static const bool guarded = std::atexit([] {
            if (!endExpected && ::testing::UnitTest::GetInstance()->current_test_info() != nullptr) {
                std::fputs("the program ended inside a test\n", stderr);
                std::_Exit(1);
            }
        }) == 0;
        ASSERT_TRUE(guarded);
        endExpected = false;
        openDesk("korvane-playback-");
        resetState();

        ASSERT_EQ(FBS_USE_HOSTOUTPUT(1), 1);
        ASSERT_EQ(FBS_INIT(44100, 2, 3, outputFrames, 0), 1);
        plugBits = FBS_GET_PLUGBITS();
        plugRate = FBS_GET_PLUGRATE();
        plugChannels = FBS_GET_PLUGCHANNELS();
        FBS_SET_MASTERCALLBACK(masterCallback);
        FBS_ENABLE_MASTERCALLBACK();
        desk.onTimeAdvance([this](double from, double to) {
            pullAudio(to - from);
            if (whileSleeping) whileSleeping();
        });
    }

    void TearDown() override {
        desk.onTimeAdvance(nullptr);
        FBS_END_MP3STREAM();
        FBS_DISABLE_MASTERCALLBACK();
        FBS_EXIT();
        FBS_USE_HOSTOUTPUT(0);
        closeDesk();
    }

    // Before the engine starts, so the chain's output-thread state may be
    // reset directly.
    static void resetState() {
        resetInputState();
        resetPlayback();
        resetEffectChain();
    }

    static void setPlaylist(const std::vector<std::string>& entries) {
        emptyPlaylist();
        for (const std::string& entry : entries) {
            ++lastIndex;
            playlistEntries[lastIndex] = entry;
            playlistLabels[lastIndex] = playlistLabel(lastIndex, entry);
        }
    }

    // n entries cycling through the playable tracks.
    static void setPlayablePlaylist(int n) {
        std::vector<std::string> entries;
        for (int i = 0; i < n; ++i) entries.push_back(playableTracks()[i % playableTracks().size()]);
        setPlaylist(entries);
    }

    static std::vector<std::string> entries() {
        return {playlistEntries.begin(), playlistEntries.begin() + (lastIndex + 1)};
    }

    // Starts entry index as the main loop's start-up does.
    static void startAt(int index) {
        currentIndex = index;
        startTrack();
        playing = 1;
    }

    // The main loop's end-of-track servicing, every 100 ms of virtual time,
    // until a track starts or the time runs out. Seconds it took, or -1.
    double runUntilTrackStart(double limit) {
        const double begin = desk.clock();
        const double startedBefore = startTime;
        while (desk.clock() - begin < limit) {
            desk.sleepMs(100);
            serviceTrackEnd();
            if (startTime != startedBefore) return desk.clock() - begin;
        }
        return -1.0;
    }

    // Streams mixed into the output after another 100 ms.
    int streamsAfterAMoment() {
        desk.sleepMs(100);
        return FBS_GET_PLAYINGSTREAMS();
    }

    // Lets the output play without servicing its end until the callback
    // reports one; false when none comes within the limit.
    bool playUntilTrackEnded(double limit) {
        const double begin = desk.clock();
        while (trackEnded == 0 && desk.clock() - begin < limit) desk.sleepMs(100);
        return trackEnded == 1;
    }

    void runFor(double seconds) {
        const double end = desk.clock() + seconds;
        while (desk.clock() < end - 1e-9) {
            desk.sleepMs(100);
            serviceTrackEnd();
        }
    }

    std::vector<std::string> dialogTexts(DialogKind kind) const {
        std::vector<std::string> texts;
        for (const ShownDialog& shown : desk.dialogs())
            if (shown.kind == kind) texts.push_back(kind == DialogKind::File ? shown.title : shown.text);
        return texts;
    }

    void chooseInDialog(const std::string& path) {
        desk.answerFileDialog({DialogOutcome::Chosen, path});
    }

    // Called at every sleep, after the audio of that time has played.
    std::function<void()> whileSleeping;
    // Called with every buffer the output plays: its interleaved samples.
    std::function<void(const std::int16_t* samples, int count)> heard;

private:
    void pullAudio(double seconds) {
        owed_ += seconds;
        while (owed_ >= bufferSeconds) {
            const void* buffer = nullptr;
            const int bytes = FBS_HOST_PULLBUFFER(&buffer);
            if (heard && bytes > 0)
                heard(static_cast<const std::int16_t*>(buffer), bytes / static_cast<int>(sizeof(std::int16_t)));
            owed_ -= bufferSeconds;
        }
    }

    double owed_ = 0.0;
};

}  // namespace korvane
