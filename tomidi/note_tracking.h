// Note tracking: the per-frame levels become timed note-on and note-off
// events, held in two small queues until they are due.
//
// A note starts when its row stands out from its neighbours and its level
// has stopped rising (the top of the attack, whose level sets the
// velocity); it ends when, no longer standing out, its level rises again.
// Every event waits its row's outputDelay, so that all notes leave about
// 0.3 s after the middle of the window they were measured in.
//
// Main thread only.
#pragma once

#include <array>
#include <cstdint>

#include "tomidi/pitch_analysis.h"

namespace korvane {

struct NoteTrack {
    float prevLevel = 0.0f;      // noteLevel of the previous frame
    float prevPeakiness = 0.0f;  // peakiness of the previous frame
    float peakLevel = 0.0f;      // level when a sounding note was last tested
    float upwardPeakiness = 0.0f;
    float peakiness = 0.0f;      // this frame's: height above the lower levels on both sides, less 20
    bool noteActive = false;     // a note-on was queued and no note-off since
};
extern std::array<NoteTrack, noteRowCount> noteTracks;

constexpr int queueCapacity = 50;  // the highest slot index
constexpr int queueSlots = queueCapacity + 1;

struct NoteEventSlot {
    std::uint8_t inUse = 0;
    int note = 0;
    int velocity = 0;  // note-ons only, 1 .. 127
    double due = 0.0;  // seconds on the frame clock
};

struct NoteEventQueue {
    std::array<NoteEventSlot, queueSlots> slots{};
    int cursor = 0;  // slot written last
};
extern NoteEventQueue noteOnQueue;
extern NoteEventQueue noteOffQueue;

// Looks for a free slot after the cursor; with every slot in use the slot
// written last is overwritten.
void enqueueNoteOn(int note, int velocity, double due);
void enqueueNoteOff(int note, double due);
// Sends every event due at or before now: all note-ons, in slot order,
// then all note-offs.
void dispatchDueEvents(double now);
// Frees every slot of both queues; the next search starts at slot 0.
void clearNoteEventQueues();

// The note decisions of one frame, from the levels measureAllRows left,
// with events due at frameTime plus each row's outputDelay.
void trackNotes(double frameTime);

// Tracking starts over: every row's previous level 0, previous peakiness
// -1, level 0; the ring cleared. A note still marked active gets its
// note-off through the queue in a frame to come.
void resetAnalysis();

// Someone who wants to see each event as trackNotes queues it (the row it
// came from included), such as a converter writing a file. Nothing is
// watched while none is installed.
struct QueuedNoteEvent {
    bool noteOn = false;
    int row = 0;
    int note = 0;
    int velocity = 0;  // 0 for a note-off
    double due = 0.0;
};
class NoteEventWatcher {
public:
    virtual ~NoteEventWatcher() = default;
    virtual void queued(const QueuedNoteEvent& event) = 0;
};
// nullptr stops watching.
void watchNoteEvents(NoteEventWatcher* watcher);

// min(127, round(level x vol + 1)), ties to even, kept within 1 .. 127 for
// any level, infinite or not a number included.
int velocityOf(float level, float vol);

}  // namespace korvane
