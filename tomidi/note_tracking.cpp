#include "tomidi/note_tracking.h"

#include <algorithm>

#include "app/text/number_text.h"
#include "effects/chain/analysis_ring.h"
#include "tomidi/midi_output.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {

std::array<NoteTrack, noteRowCount> noteTracks;
NoteEventQueue noteOnQueue;
NoteEventQueue noteOffQueue;

namespace {

NoteEventWatcher* watcher = nullptr;

// Peakiness: a level below the running floor sets the floor 2 above
// itself; the floor never rises because a level is above it.
constexpr float floorStart = 5.0f;
constexpr float floorRise = 2.0f;
constexpr float standOutMargin = 20.0f;
// Not rising: at most 0.1 % above the previous frame.
constexpr float steadyRatio = 1.001f;
// A sounding note is struck again above 1.2 x its tested level + 20.
constexpr float restrikeRatio = 1.2f;
constexpr float restrikeMargin = 20.0f;

float peakinessStep(float level, float& floor) {
    if (level < floor) {
        floor = level + floorRise;
        return -standOutMargin;
    }
    return level - floor - standOutMargin;
}

void put(NoteEventQueue& queue, int note, int velocity, double due) {
    for (int looked = 0; looked < queueSlots; ++looked) {
        queue.cursor = queue.cursor >= queueCapacity ? 0 : queue.cursor + 1;
        if (queue.slots[queue.cursor].inUse == 0) break;
    }
    queue.slots[queue.cursor] = {1, note, velocity, due};
}

void queueEvent(bool noteOn, int row, int velocity, double due) {
    const int note = row + lowestNote;
    if (noteOn)
        enqueueNoteOn(note, velocity, due);
    else
        enqueueNoteOff(note, due);
    if (watcher != nullptr) watcher->queued({noteOn, row, note, noteOn ? velocity : 0, due});
}

// The decision for one row, from this frame's level and the previous
// frame's values.
void decide(int row, double frameTime) {
    NoteTrack& track = noteTracks[row];
    const float level = noteRows[row].noteLevel;
    const double due = frameTime + noteRows[row].outputDelay;
    if (level <= steadyRatio * track.prevLevel) {
        if (track.prevPeakiness > 0.0f) {
            if (track.noteActive && level > restrikeRatio * track.peakLevel + restrikeMargin)
                track.noteActive = false;
            track.peakLevel = level;
            if (!track.noteActive) {
                queueEvent(true, row, velocityOf(track.prevLevel, toMidiSettings.vol), due);
                track.noteActive = true;
            }
        }
    } else if (track.noteActive && track.prevPeakiness <= 0.0f) {
        queueEvent(false, row, 0, due);
        track.noteActive = false;
    }
    track.prevPeakiness = track.peakiness;
    track.prevLevel = level;
}

}  // namespace

int velocityOf(float level, float vol) {
    const float velocity = level * vol + 1.0f;
    return std::clamp(roundToInt(velocity), 1, 127);
}

void enqueueNoteOn(int note, int velocity, double due) { put(noteOnQueue, note, velocity, due); }

void enqueueNoteOff(int note, double due) { put(noteOffQueue, note, 0, due); }

void dispatchDueEvents(double now) {
    for (NoteEventSlot& slot : noteOnQueue.slots) {
        if (slot.inUse == 0 || slot.due > now) continue;
        slot.inUse = 0;
        sendNoteOn(slot.note, slot.velocity);
    }
    for (NoteEventSlot& slot : noteOffQueue.slots) {
        if (slot.inUse == 0 || slot.due > now) continue;
        slot.inUse = 0;
        sendNoteOff(slot.note);
    }
}

void clearNoteEventQueues() {
    for (NoteEventQueue* queue : {&noteOnQueue, &noteOffQueue}) {
        for (NoteEventSlot& slot : queue->slots) slot.inUse = 0;
        queue->cursor = queueCapacity;
    }
}

void trackNotes(double frameTime) {
    float floor = floorStart;
    for (int r = 0; r <= highestRow; ++r)
        noteTracks[r].upwardPeakiness = peakinessStep(noteRows[r].noteLevel, floor);
    floor = floorStart;
    for (int r = highestRow; r >= 0; --r) {
        const float downward = peakinessStep(noteRows[r].noteLevel, floor);
        noteTracks[r].peakiness = (noteTracks[r].upwardPeakiness + downward) / 2.0f;
        decide(r, frameTime);
    }
}

void resetAnalysis() {
    for (int r = 0; r <= highestRow; ++r) {
        noteTracks[r].prevLevel = 0.0f;
        noteTracks[r].prevPeakiness = -1.0f;
        noteRows[r].noteLevel = 0.0f;
    }
    clearAnalysisRing();
}

void watchNoteEvents(NoteEventWatcher* newWatcher) { watcher = newWatcher; }

}  // namespace korvane
