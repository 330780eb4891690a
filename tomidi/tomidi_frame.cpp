#include "tomidi/tomidi_frame.h"

#include <cmath>

#include "app/window/platform.h"
#include "playback/playback_state.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"

namespace korvane {

FrameClock frameClock;

namespace {

// A spare time below this only yields.
constexpr double shortestSleep = 0.005;
// After a track ends or playback restarts, the next tuning pass waits
// this much longer than usual: the new track's first sound is not yet in
// the ring.
constexpr double tuningPause = 0.2;
// The clock went backwards: note-ons that are not due at once leave a
// second from now instead of never.
void rescheduleNoteOns(double now) {
    for (NoteEventSlot& slot : noteOnQueue.slots)
        if (slot.due >= 1.0) slot.due = now + 1.0;
}

}  // namespace

void startFrames() {
    frameClock.current = frameClock.previous = platform().clock();
    frameClock.lastTuning = 0.0;
}

void runFrame(FrameSteps& steps) {
    Platform& p = platform();
    FrameClock& clock = frameClock;
    clock.previous = clock.current;
    clock.current = p.clock();
    if (clock.current < clock.previous - clockJumpLimit) {
        clock.previous = clock.current;
        rescheduleNoteOns(clock.current);
    }
    dispatchDueEvents(clock.current);

    clock.spare = framePeriod - (clock.current - clock.previous);
    p.sleepMs(clock.spare >= shortestSleep ? static_cast<int>(std::floor(clock.spare * 1000)) : 0);
    clock.current = p.clock();

    steps.pollKeyboard();
    if (trackEnded.load(std::memory_order_relaxed) != 0) {
        allNotesOff();
        resetAnalysis();
        steps.trackEnded();
        trackEnded.store(0, std::memory_order_relaxed);
        clock.lastTuning = clock.current + tuningPause;
        backOffTuning();
    }
    steps.handleKeys();

    bool loud = false;
    if (clock.current > clock.lastTuning + tuningPeriod) {
        clock.lastTuning = clock.current;
        loud = tuneStep();
    }
    steps.afterTuning(loud);

    measureAllRows();
    trackNotes(clock.current);
    steps.afterTracking();
}

}  // namespace korvane
