// What the toMidi tests share: the analysis tables built once per program,
// the toMidi state back at its start values, the recording MIDI system
// with its messages decoded, and the text shown in the window's cells.
//
// ToMidiTest: the scripted platform in a fresh working folder, without the
// engine, for the analysis, the tracking and the panel's keys. ToMidiDeskTest: the scripted desk of the playback
// tests, with the engine on its host-driven output in virtual time, for
// runs from an MP3 file to MIDI messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/input/input_state.h"
#include "app/window/font.h"
#include "effects/chain/analysis_ring.h"
#include "effects/chain/chain_reset.h"
#include "effects/chain/effect_settings.h"
#include "playback/playback_state.h"
#include "tests/playback/playback_support.h"
#include "tests/shown_text.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/recording_midi.h"
#include "tomidi/tomidi_frame.h"
#include "tomidi/tomidi_panel.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {

// A short message as sent, unpacked.
struct SentMessage {
    double time = 0.0;
    int status = 0;
    int data1 = 0;
    int data2 = 0;
};

class ToMidiState {
public:
    // toMidi as the program starts, its tables built for the start's
    // settings (the phase table once, it takes a while), and the ring
    // cleared. The callback runs on the test's thread, if at all.
    static void reset() {
        resetToMidi();
        buildNoteTables();
        static const bool phaseBuilt = (buildPhaseTable(), true);
        (void)phaseBuilt;
        resetAnalysisRing();
    }

    // The messages sent since the last call (the program change included).
    std::vector<SentMessage> takeSent() {
        std::vector<SentMessage> sent;
        for (const RecordingMidi::Message& m : midi.messages)
            sent.push_back({m.time, int(m.packed & 0xFF), int((m.packed >> 8) & 0xFF),
                            int((m.packed >> 16) & 0xFF)});
        midi.messages.clear();
        return sent;
    }

    // The recording system with output -1 (number 0) open.
    void openRecording() {
        installMidiSystem(&midi);
        midiDevice = 0;
        openMidiDevice();
        midi.messages.clear();
    }

    void closeRecording() {
        closeMidiDevice();
        installMidiSystem(nullptr);
    }

    RecordingMidi midi;
};

class ToMidiTest : public ScriptedDeskTest, public ToMidiState {
protected:
    void SetUp() override {
        openDesk("korvane-tomidi-");
        desk.advance(100.0);
        resetInputState();
        resetEffectChain();
        reset();
        openRecording();
    }

    void TearDown() override {
        closeRecording();
        closeDesk();
    }
};

class ToMidiDeskTest : public PlaybackTest, public ToMidiState {
protected:
    void SetUp() override {
        PlaybackTest::SetUp();
        reset();
        openRecording();
    }

    void TearDown() override {
        closeRecording();
        PlaybackTest::TearDown();
    }
};

}  // namespace korvane
