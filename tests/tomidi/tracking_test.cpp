// Note tracking and the frame: note-on and note-off decisions, velocities,
// delays, the queues and their dispatch, the reset, levels that are not
// numbers, and the frame's pacing, clock guard, tuning rhythm and track end.
#include <cmath>
#include <limits>

#include "tomidi_support.h"

namespace korvane {
namespace {

class TrackingTest : public ToMidiTest {
protected:
    // One frame of tracking on the given levels; every other row at 1.
    void frameWith(std::initializer_list<std::pair<int, float>> levels, double time = 0.0) {
        for (NoteRow& row : noteRows) row.noteLevel = 1.0f;
        for (const auto& [row, level] : levels) noteRows[row].noteLevel = level;
        trackNotes(time);
    }

    std::vector<NoteEventSlot> used(const NoteEventQueue& queue) {
        std::vector<NoteEventSlot> slots;
        for (const NoteEventSlot& slot : queue.slots)
            if (slot.inUse) slots.push_back(slot);
        return slots;
    }
};

TEST_F(TrackingTest, SteadyToneStartsOneNoteWhereItsLevelStopsRising) {
    frameWith({{33, 50}});
    frameWith({{33, 100}});
    EXPECT_TRUE(used(noteOnQueue).empty()) << "still rising";
    frameWith({{33, 150}}, 10.0);
    EXPECT_TRUE(used(noteOnQueue).empty());
    frameWith({{33, 150}}, 10.025);
    ASSERT_EQ(used(noteOnQueue).size(), 1u);
    const NoteEventSlot on = used(noteOnQueue)[0];
    EXPECT_EQ(on.note, 69);
    EXPECT_EQ(on.velocity, 31) << "the attack's top, 150 x 0.2 + 1";
    EXPECT_DOUBLE_EQ(on.due, 10.025 + noteRows[33].outputDelay);
    // Wavering within 1.2 x the tested level + 20 strikes nothing new.
    for (float level : {149.0f, 190.0f, 185.0f, 160.0f, 160.0f}) frameWith({{33, level}});
    EXPECT_EQ(used(noteOnQueue).size(), 1u);
    EXPECT_TRUE(used(noteOffQueue).empty());
}

TEST_F(TrackingTest, LouderStrikeOfASoundingNoteStartsItAgainWithoutANoteOff) {
    frameWith({{40, 100}});
    frameWith({{40, 100}});
    ASSERT_EQ(used(noteOnQueue).size(), 1u);
    frameWith({{40, 400}});
    frameWith({{40, 400}});
    ASSERT_EQ(used(noteOnQueue).size(), 2u);
    EXPECT_EQ(used(noteOnQueue)[1].velocity, 81);
    EXPECT_TRUE(used(noteOffQueue).empty());
    EXPECT_TRUE(noteTracks[40].noteActive);
}

TEST_F(TrackingTest, NoteEndsWhenItsRowRisesAgainWithoutStandingOut) {
    frameWith({{20, 100}});
    frameWith({{20, 100}}, 5.0);
    frameWith({{20, 1.0f}});
    frameWith({{20, 1.0f}});
    EXPECT_TRUE(used(noteOffQueue).empty()) << "silence alone keeps the note";
    frameWith({{20, 1.01f}}, 6.0);
    ASSERT_EQ(used(noteOffQueue).size(), 1u);
    EXPECT_EQ(used(noteOffQueue)[0].note, 56);
    EXPECT_DOUBLE_EQ(used(noteOffQueue)[0].due, 6.0 + noteRows[20].outputDelay);
    EXPECT_FALSE(noteTracks[20].noteActive);
}

TEST_F(TrackingTest, VelocityIsTheScaledLevelRoundedAndKeptWithinMidi) {
    EXPECT_EQ(velocityOf(100.0f, 0.2f), 21);
    EXPECT_EQ(velocityOf(630.0f, 0.2f), 127);
    EXPECT_EQ(velocityOf(5000.0f, 2.0f), 127);
    EXPECT_EQ(velocityOf(2.5f, 0.2f), 2) << "1.5 rounds to even";
    EXPECT_EQ(velocityOf(17.5f, 0.2f), 4) << "4.5 rounds to even";
    EXPECT_EQ(velocityOf(0.0f, 0.02f), 1);
    EXPECT_EQ(velocityOf(std::numeric_limits<float>::infinity(), 0.2f), 127);
    EXPECT_EQ(velocityOf(-std::numeric_limits<float>::infinity(), 0.2f), 1);
    EXPECT_EQ(velocityOf(std::numeric_limits<float>::quiet_NaN(), 0.2f), 1);
}

TEST_F(TrackingTest, FiftySecondNoteOnReplacesTheFiftyFirst) {
    for (int note = 1; note <= 52; ++note) enqueueNoteOn(note, 100, 50.0);
    std::vector<int> notes;
    for (const NoteEventSlot& slot : used(noteOnQueue)) notes.push_back(slot.note);
    ASSERT_EQ(notes.size(), 51u);
    EXPECT_EQ(std::count(notes.begin(), notes.end(), 51), 0);
    EXPECT_EQ(std::count(notes.begin(), notes.end(), 52), 1);
    EXPECT_EQ(std::count(notes.begin(), notes.end(), 50), 1);
}

TEST_F(TrackingTest, DueNoteOnsLeaveBeforeDueNoteOffs) {
    enqueueNoteOff(60, 10.010);  // queued first, into the lower slot
    enqueueNoteOn(60, 90, 10.000);
    enqueueNoteOn(64, 90, 10.030);
    dispatchDueEvents(10.02);
    const std::vector<SentMessage> sent = takeSent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].status, 0x90);
    EXPECT_EQ(sent[0].data1, 60);
    EXPECT_EQ(sent[0].data2, 90);
    EXPECT_EQ(sent[1].status, 0x80);
    EXPECT_EQ(sent[1].data1, 60);
    EXPECT_EQ(used(noteOnQueue).size(), 1u) << "note 64 is not yet due";
}

TEST_F(TrackingTest, AllNotesOffDropsWhatIsQueuedAndStartsTheSearchAtSlotZero) {
    enqueueNoteOn(60, 90, 10.0);
    enqueueNoteOn(62, 90, 10.0);
    enqueueNoteOff(61, 10.0);
    allNotesOff();
    EXPECT_TRUE(used(noteOnQueue).empty());
    EXPECT_TRUE(used(noteOffQueue).empty());
    enqueueNoteOn(70, 90, 10.0);
    EXPECT_EQ(noteOnQueue.slots[0].inUse, 1);
    EXPECT_EQ(noteOnQueue.slots[0].note, 70);
    dispatchDueEvents(20.0);
    const std::vector<SentMessage> sent = takeSent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].status, 0xB0);
    EXPECT_EQ(sent[0].data1, 123);
    EXPECT_EQ(sent[1].data1, 64);
    EXPECT_EQ(sent[2].data1, 70);
}

TEST_F(TrackingTest, ResetEndsEveryTrackedNoteThroughTheQueue) {
    frameWith({{10, 100}, {50, 100}});
    frameWith({{10, 100}, {50, 100}});
    ASSERT_EQ(used(noteOnQueue).size(), 2u);
    resetAnalysis();
    EXPECT_EQ(noteRows[10].noteLevel, 0.0f);
    EXPECT_EQ(noteTracks[10].prevPeakiness, -1.0f);
    EXPECT_EQ(analysisRing.samples[1234], ringFloor);
    frameWith({{10, 3}, {50, 3}});
    std::vector<int> off;
    for (const NoteEventSlot& slot : used(noteOffQueue)) off.push_back(slot.note);
    EXPECT_EQ(off, (std::vector<int>{86, 46}));
}

// Levels that are not numbers or are infinite cannot come from 16-bit
// audio, but if they did they must not reach the output as bad messages.
TEST_F(TrackingTest, InfiniteAndNotANumberLevelsSendOnlyValidMessages) {
    const float inf = std::numeric_limits<float>::infinity();
    frameWith({{33, 100}});
    frameWith({{33, inf}});
    frameWith({{33, inf}});
    ASSERT_EQ(used(noteOnQueue).size(), 1u);
    EXPECT_EQ(used(noteOnQueue)[0].velocity, 127);

    // The same through the measurement: a ring holding a tone, then
    // infinities and NaNs.
    const float values[] = {inf, -inf, std::numeric_limits<float>::quiet_NaN()};
    for (int frame = 0; frame < 40; ++frame) {
        for (int i = 0; i < analysisRingUsed; ++i)
            analysisRing.samples[i] = frame < 10 ? static_cast<float>(9000 * std::sin(i * 0.0627))
                                                 : ((i * 7 + frame) % 5 == 0 ? values[(i + frame) % 3] : 100.0f);
        analysisRing.writePos = (frame * 1103) % analysisRingUsed;
        measureAllRows();
        trackNotes(frame * 0.025);
        dispatchDueEvents(frame * 0.025 + 1.0);
    }
    for (const SentMessage& m : takeSent()) {
        ASSERT_TRUE(m.status == 0x90 || m.status == 0x80) << m.status;
        EXPECT_GE(m.data1, lowestNote);
        EXPECT_LE(m.data1, lowestNote + highestRow);
        if (m.status == 0x90) {
            EXPECT_GE(m.data2, 1);
            EXPECT_LE(m.data2, 127);
        }
    }
}

TEST_F(TrackingTest, WatcherSeesEachEventWithItsRow) {
    struct Watcher : NoteEventWatcher {
        std::vector<QueuedNoteEvent> events;
        void queued(const QueuedNoteEvent& event) override { events.push_back(event); }
    } watcher;
    watchNoteEvents(&watcher);
    frameWith({{12, 200}});
    frameWith({{12, 200}}, 3.0);
    frameWith({{12, 1}});
    frameWith({{12, 2}}, 4.0);
    watchNoteEvents(nullptr);
    ASSERT_EQ(watcher.events.size(), 2u);
    EXPECT_TRUE(watcher.events[0].noteOn);
    EXPECT_EQ(watcher.events[0].row, 12);
    EXPECT_EQ(watcher.events[0].note, 48);
    EXPECT_EQ(watcher.events[0].velocity, 41);
    EXPECT_DOUBLE_EQ(watcher.events[0].due, 3.0 + noteRows[12].outputDelay);
    EXPECT_FALSE(watcher.events[1].noteOn);
    EXPECT_EQ(watcher.events[1].velocity, 0);
}

// --- the frame ---

struct CountingSteps : FrameSteps {
    int frames = 0;
    int loud = 0;
    int ended = 0;
    std::vector<double> tuned;
    void afterTuning(bool wasLoud) override {
        loud += wasLoud;
        if (frameClock.lastTuning == frameClock.current) tuned.push_back(frameClock.current);
    }
    void trackEnded() override { ++ended; }
    void afterTracking() override { ++frames; }
};

using FrameTest = TrackingTest;

TEST_F(FrameTest, FramesArePacedTo25MsAndTuneEveryTenthOfASecondAtMost) {
    CountingSteps steps;
    startFrames();
    const double start = desk.clock();
    for (int i = 0; i < 40; ++i) runFrame(steps);
    EXPECT_NEAR(desk.clock() - start, 1.0, 1e-9);
    EXPECT_NEAR(frameClock.spare, 0.025, 1e-9);
    ASSERT_GE(steps.tuned.size(), 8u);
    EXPECT_DOUBLE_EQ(steps.tuned[0], start + 0.025) << "the first frame tunes, after its pacing sleep";
    for (std::size_t i = 1; i < steps.tuned.size(); ++i) {
        EXPECT_GT(steps.tuned[i] - steps.tuned[i - 1], 0.1);
        EXPECT_LT(steps.tuned[i] - steps.tuned[i - 1], 0.126);
    }
}

TEST_F(FrameTest, SlowFrameOnlyYields) {
    struct SlowSteps : FrameSteps {
        void handleKeys() override { platform().sleepMs(40); }
    } steps;
    startFrames();
    runFrame(steps);
    const double before = desk.clock();
    runFrame(steps);
    EXPECT_NEAR(frameClock.spare, 0.025 - 0.040, 1e-9);
    EXPECT_NEAR(desk.clock() - before, 0.040, 1e-9) << "no pacing sleep, only the steps' own";
}

TEST_F(FrameTest, ClockThatRanBackwardsReschedulesPendingNoteOns) {
    CountingSteps steps;
    const double now = desk.clock();
    frameClock.current = now + 200.0;  // as if the clock had been 200 s ahead
    enqueueNoteOn(60, 90, now + 150.0);
    enqueueNoteOn(62, 90, 0.5);
    enqueueNoteOff(61, now + 150.0);
    runFrame(steps);
    EXPECT_DOUBLE_EQ(noteOnQueue.slots[1].due, now + 1.0);
    EXPECT_EQ(noteOnQueue.slots[2].inUse, 0) << "already due: sent";
    EXPECT_DOUBLE_EQ(noteOffQueue.slots[1].due, now + 150.0);
}

TEST_F(FrameTest, TrackEndSilencesResetsAndBacksOffTheTuning) {
    CountingSteps steps;
    startFrames();
    frameWith({{30, 100}});
    frameWith({{30, 100}}, desk.clock() + 10.0);
    kz0 = 1.0f;
    trackEnded = 1;
    runFrame(steps);
    EXPECT_EQ(steps.ended, 1);
    EXPECT_EQ(trackEnded, 0);
    EXPECT_FLOAT_EQ(kz0, 0.995f);
    EXPECT_DOUBLE_EQ(frameClock.lastTuning, frameClock.current + 0.2);
    const std::vector<SentMessage> sent = takeSent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].data1, 123);
    EXPECT_EQ(sent[1].data1, 64);
    EXPECT_TRUE(used(noteOnQueue).empty()) << "the queued note-on was dropped";

    kz0 = 0.902f;
    trackEnded = 1;
    runFrame(steps);
    EXPECT_FLOAT_EQ(kz0, 0.9f) << "never below the tuning range";
}

}  // namespace
}  // namespace korvane
