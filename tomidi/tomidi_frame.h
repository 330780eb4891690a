// The 25 ms frame of toMidi: send what is due, pace, measure, tune, track.
//
// Everything runs on the platform's clock and sleep, so the same frame
// runs in real time in the player and in virtual time under a scripted
// platform, where a converter can run it faster than real time. Whoever
// runs the frames (the toMidi panel, a converter) adds its own work at the
// points FrameSteps names; the frame itself draws nothing and reads no key.
//
// Running it faster than real time: a platform whose sleepMs advances a
// virtual clock and pulls the engine's host-driven output for the time that
// passed (ScriptedPlatform::onTimeAdvance with FBS_HOST_PULLBUFFER), a
// MidiSystem of one's own (installMidiSystem), toMidiActive set, then
// startFrames() and runFrame() until FrameSteps::trackEnded is called. The
// 77 levels are in noteRows at afterTracking; a NoteEventWatcher
// (note_tracking.h) sees each event with its row as it is queued.
//
// Main thread only.
#pragma once

namespace korvane {

constexpr double framePeriod = 0.025;   // seconds
constexpr double tuningPeriod = 0.1;    // at most one tuning pass per this
constexpr double clockJumpLimit = 99.0; // a clock this far backwards restarted

struct FrameClock {
    double current = 0.0;     // this frame's time, platform clock seconds
    double previous = 0.0;
    double spare = 0.0;       // 25 ms less the previous frame's work; negative when late
    double lastTuning = 0.0;  // time of the last tuning pass
};
extern FrameClock frameClock;

class FrameSteps {
public:
    virtual ~FrameSteps() = default;
    // After the pacing sleep, before the track-end check.
    virtual void pollKeyboard() {}
    // The track has ended: notes are off and the tracking reset already;
    // start what comes next.
    virtual void trackEnded() {}
    // After the track-end check.
    virtual void handleKeys() {}
    // After the tuning step of every frame; loud when a pass ran and its
    // strongest note was above 20.
    virtual void afterTuning(bool loud) {}
    // After the levels are measured and the notes tracked.
    virtual void afterTracking() {}
};

// The clock starts now; the next frame tunes.
void startFrames();
void runFrame(FrameSteps& steps);

}  // namespace korvane
