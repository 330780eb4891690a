#include "tomidi/tomidi_panel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>

#include "app/input/input_state.h"
#include "app/text/number_text.h"
#include "app/window/platform.h"
#include "app/window/screen.h"
#include "effects/chain/effect_settings.h"
#include "engine/fbs.h"
#include "playback/playback_state.h"
#include "playback/track_control.h"
#include "tomidi/midi_output.h"
#include "tomidi/note_tracking.h"
#include "tomidi/pitch_analysis.h"
#include "tomidi/tomidi_frame.h"
#include "tomidi/tomidi_settings.h"

namespace korvane {

ToMidiPanel toMidiPanel;

void resetToMidi() {
    toMidiSettings = ToMidiSettings{};
    resetPitchAnalysis();
    noteTracks = {};
    noteOnQueue = NoteEventQueue{};
    noteOffQueue = NoteEventQueue{};
    resetMidiOutput();
    frameClock = FrameClock{};
    toMidiPanel = ToMidiPanel{};
}

namespace {

constexpr int chartBottom = 93;
constexpr std::uint32_t alarmColour = 0xFFFA1414;   // the frame ran late
constexpr std::uint32_t warningColour = 0xFFF0FA00; // under 5 ms to spare
constexpr std::uint32_t peakLineColour = 0xFFC80000;
constexpr std::uint32_t levelLineColour = 0xFF646464;
constexpr std::uint32_t peakyBarColour = 0xFF00FA00;
constexpr std::uint32_t barColour = 0xFF0064C8;
constexpr std::uint32_t nameColour = 0xFF00F0F0;
constexpr std::uint32_t axisColour = 0xFFC8C8C8;
constexpr std::uint32_t referenceCurveColour = 0xFF464600;
constexpr std::uint32_t kernelCurveColour = 0xFF00C8C8;
constexpr std::uint32_t harmonicColour = 0xFF00FAFA;

constexpr double keyPeriod = 0.1;       // the keyboard is read at most this often
constexpr double redrawPeriod = 7.0;
constexpr double testRedrawPeriod = 0.15;
constexpr double figuresPeriod = 1.0;
// Redraw times set relative to now: soon (in the next frame that allows
// it), sooner after a cpu change, and held so a plot stays in view.
constexpr double redrawSoon = -9.0;
constexpr double redrawSoonCpu = -7.0;
constexpr double plotHeld = 5.0;

constexpr int cpuStep = 600;
constexpr int cpuLowest = 1200;
constexpr int cpuHighest = 12000;
constexpr float volLowest = 0.02f;
constexpr float volHighest = 2.0f;
constexpr float volStep = 1.025f;

std::string firstChars(const std::string& text, std::size_t count) { return text.substr(0, count); }

void drawTestLabel() {
    if (toMidiPanel.testLabelShown) screen::printLineAt(3, 31, toMidiPanel.testMode ? "[T]test  " : "[T]notest");
}

void drawAuxvar() {
    if (std::fabs(auxvar) > 0.000001) screen::printLineAt(3, 1, "auxvar=" + firstChars(formatDouble(auxvar) + "    ", 5));
}

std::string cpuFigure() { return std::to_string(toMidiSettings.cpu / 120); }

// The cpu figure, coloured by how much of the frame was left.
void drawCpuFigure() {
    const double spare = frameClock.spare;
    if (spare < 0)
        screen::setTextColours(alarmColour, panelBackground);
    else if (spare < 0.005)
        screen::setTextColours(warningColour, panelBackground);
    screen::printAt(6, 34, "cpu" + cpuFigure() + "  ");
    if (spare < 0.0051) screen::setTextColours(defaultForeground, panelBackground);
}

std::string harmonicLabel() {
    const int harmo = toMidiSettings.harmo;
    return harmo == 0 ? "[G][H]noharm" : "[G][H]harmo" + std::to_string(harmo);
}

std::string windowLabel() {
    return "[S][D]n" + firstChars(formatSingle(toMidiSettings.windowFactor) + ".0", 3);
}

std::string kz0Label() { return "kz0=" + firstChars(formatSingle(kz0) + "     ", 5); }

void drawTuningFigures() {
    screen::printAt(1, 17, "vol=" + firstChars(formatSingle(toMidiSettings.vol) + " ", 5));
    screen::printLineAt(2, 1, "aux=" + formatSingle(aux) + "     ");
    screen::printLineAt(2, 17, kz0Label());
    drawTestLabel();
    drawAuxvar();
    drawCpuFigure();
}

void drawChart() {
    screen::clear();
    const double lineEnd = 314.0 * 77 / 76 + 10;
    screen::drawLine(10, chartBottom - 22, lineEnd, chartBottom - 22, peakLineColour);
    screen::drawLine(10, chartBottom - 20, lineEnd, chartBottom - 20, levelLineColour);
    for (int r = 0; r <= highestRow; ++r) {
        const std::uint32_t colour = noteTracks[r].peakiness > 0.0f ? peakyBarColour : barColour;
        screen::fillBox(r * 314.0 / 76 + 10, chartBottom - noteRows[r].noteLevel, (r * 314.0 + 314) / 76 + 10,
                        chartBottom, colour);
    }
    drawPanelHeader();
    screen::printAt(2, 17, kz0Label());
    drawTestLabel();
    screen::printAt(4, 28, "[K][L]lock" + std::to_string(toMidiSettings.lock));
    screen::printAt(5, 28, harmonicLabel());
    screen::printLineAt(8, 28, windowLabel());
    screen::printAt(6, 28, "[X][C]");
    drawCpuFigure();
    screen::printAt(7, 28, "[Q][W]sin^" + formatSingle(toMidiSettings.sinExponent) + "  ");
    screen::drawText(1, 24, shortName, nameColour);
}

// --- keys ---

double now() { return frameClock.current; }

// The sinExponent ladder: quarters to 4, then ones to 10, twos to 20, fives to 60.
float raisedExponent(float e) {
    e += 0.25f;
    if (e > 4) e += 0.75f;
    if (e > 10) e += 1.0f;
    if (e > 20) e += 3.0f;
    if (e > 60) e = 0.0f;
    return e;
}

float loweredExponent(float e) {
    e -= 0.25f;
    if (e > 4) e -= 0.75f;
    if (e > 10) e -= 1.0f;
    if (e > 20) e -= 3.0f;
    if (e < 0) e = 60.0f;
    return e;
}

void changeExponent(float e) {
    toMidiSettings.sinExponent = e;
    buildNoteTables();
    drawKernelView();
    screen::printAt(7, 28, "[Q][W]sin^" + formatSingle(e) + "    ");
    screen::printAt(6, 28, "[X][C]cpu");
    toMidiPanel.redrawTime = now() + plotHeld;
}

// Steps of exactly 0.1 from single-precision values: 0.7 gives 0.6 and 0.8.
void changeWindow(float offset) {
    const float stepped = std::floor(10.0f * toMidiSettings.windowFactor + offset) / 10.0f;
    toMidiSettings.windowFactor = std::max(0.3f, std::min(1.9f, stepped));
    buildNoteTables();
    screen::printLineAt(8, 28, windowLabel());
    platform().sleepMs(100);
}

void changeCpu(int steps) {
    int& cpu = toMidiSettings.cpu;
    cpu = cpuStep * static_cast<int>(std::floor(cpu / static_cast<double>(cpuStep) + steps));
    if (cpu > cpuHighest) cpu = cpuLowest;
    if (cpu < cpuLowest) cpu = cpuHighest;
    screen::printAt(6, 28, "[X][C]cpu" + cpuFigure() + "  ");
    toMidiPanel.redrawTime = now() + redrawSoonCpu;
}

// harmo may come from the file as any integer: the wraps are tested
// before stepping, so none overflows.
void changeHarmo(int steps) {
    int& harmo = toMidiSettings.harmo;
    if (steps > 0)
        harmo = harmo >= 10 ? 0 : harmo + 1;
    else
        harmo = harmo <= 0 ? 10 : harmo - 1;
    buildNoteTables();
    drawHarmonicView();
    toMidiPanel.redrawTime = now() + plotHeld;
}

void changeLock(int steps) {
    int& lock = toMidiSettings.lock;
    if (steps > 0)
        lock = lock >= 7 ? 1 : lock + 1;
    else
        lock = lock <= 1 ? 7 : lock - 1;
    screen::printAt(4, 28, "[K][L]lock" + std::to_string(lock));
}

void changeVol(bool up) {
    float& vol = toMidiSettings.vol;
    vol = up ? std::min(volHighest, vol * volStep) : std::max(volLowest, vol / volStep);
    discardWaitingKeys();
}

// A held track (paused from the desktop) counts as stopped: P plays it on.
void togglePlayback() {
    if (playing.load(std::memory_order_relaxed) == 1 && stopped.load(std::memory_order_relaxed) == 0) {
        screen::printLineAt(2, 28, "[P]play");
        stopPlayback();
        stopped.store(1, std::memory_order_relaxed);
        allNotesOff();
        resetAnalysis();
    } else {
        screen::printLineAt(2, 28, "[P]Stop");
        resetAnalysis();
        resumePlayback();
        stopped.store(0, std::memory_order_relaxed);
        frameClock.lastTuning = platform().clock() + 0.2;
        toMidiPanel.redrawTime = now() + redrawSoon;
        backOffTuning();
    }
    drawPanelHeader();
    discardWaitingKeys();
}

// Key codes of the key string: the last character, plus 256 for the two
// characters of an extended key.
int keyCodeOf(const std::string& text) {
    const int last = static_cast<unsigned char>(text.back());
    return text.size() == 2 ? last + 256 : last;
}

std::string keyStringOf(int code) {
    if (code <= 0) return "";
    if (code < 256) return std::string(1, static_cast<char>(code));
    return std::string(1, '\0') + static_cast<char>(code - 256);
}

// True when the key was one of the panel's.
bool handleKey(int code) {
    if (code == key::Right || code == key::Down || code == key::Left || code == key::Up) {
        if (code == key::Right || code == key::Down)
            nextTrack();
        else
            previousTrack();
        toMidiPanel.redrawTime = now() + redrawSoon;
        return true;
    }
    switch (code < 256 ? std::tolower(code) : 0) {
    case 't':
        toMidiPanel.testMode = !toMidiPanel.testMode;
        toMidiPanel.testLabelShown = true;
        return true;
    case 'w': changeExponent(raisedExponent(toMidiSettings.sinExponent)); return true;
    case 'q': changeExponent(loweredExponent(toMidiSettings.sinExponent)); return true;
    case 's': changeWindow(-0.9f); return true;
    case 'd': changeWindow(1.1f); return true;
    case 'c': changeCpu(1); return true;
    case 'x': changeCpu(-1); return true;
    case 'h': changeHarmo(1); return true;
    case 'g': changeHarmo(-1); return true;
    case 'l': changeLock(1); return true;
    case 'k': changeLock(-1); return true;
    case 'n': changeVol(true); return true;
    case 'b': changeVol(false); return true;
    case 'p': togglePlayback(); return true;
    case 'o':
        chooseMidiDevice();
        drawPanelHeader();
        return true;
    default: return false;
    }
}

class PanelSteps : public FrameSteps {
public:
    void pollKeyboard() override {
        const double t = now();
        if (t > toMidiPanel.keyTime + keyPeriod || t < toMidiPanel.keyTime - clockJumpLimit) {
            toMidiPanel.keyTime = t;
            keyText = keyStringOf(FBS_GET_KEYCODE());
            // A media command that changed what plays starts the notes afresh.
            if (runMediaCommands()) {
                allNotesOff();
                resetAnalysis();
                drawPanelHeader();
                toMidiPanel.redrawTime = now() + redrawSoon;
            }
        }
    }

    void trackEnded() override {
        advanceAfterEnd();
        toMidiPanel.redrawTime = now() + redrawSoon;
    }

    // A key that is not the panel's stays in keyText and ends the panel
    // after this frame.
    void handleKeys() override {
        if (!keyText.empty() && handleKey(keyCodeOf(keyText))) keyText.clear();
    }

    void afterTuning(bool loud) override {
        if (loud && now() > toMidiPanel.figuresTime + figuresPeriod) {
            toMidiPanel.figuresTime = now();
            drawTuningFigures();
        }
        auxvar = 0.0;
    }

    // Drawing stays out of the frames that tuned.
    void afterTracking() override {
        const double t = now();
        const double since = t - toMidiPanel.redrawTime;
        if ((since > redrawPeriod || (toMidiPanel.testMode && since > testRedrawPeriod)) &&
            t > frameClock.lastTuning + 0.001) {
            toMidiPanel.redrawTime = t;
            drawChart();
        }
    }
};

void enter() {
    screen::clear();
    toMidiActive.store(1, std::memory_order_relaxed);
    keyText.clear();
    kz0 = 1.0f;
    aux = 0.0f;
    startFrames();
    toMidiPanel = ToMidiPanel{};
    drawPanelHeader();
}

void leave() {
    toMidiActive.store(0, std::memory_order_relaxed);
    allNotesOff();
}

}  // namespace

void drawPanelHeader() {
    screen::printAt(1, 1, "[O]midiout" + std::to_string(midiDevice) + " ");
    screen::printAt(1, 17, "vol=" + firstChars(formatSingle(toMidiSettings.vol) + "  ", 5));
    screen::printAt(1, 28, "[B]-[N]+      ");
    screen::printLineAt(2, 1, "aux=" + firstChars(formatSingle(aux) + "     ", 5));
    screen::printLineAt(2, 28, stopped.load(std::memory_order_relaxed) != 0 ? "[P]play" : "[P]Stop");
    drawTestLabel();
    drawAuxvar();
}

void drawKernelView() {
    screen::clear();
    constexpr double y0 = chartBottom - 35;
    const double s = std::min(1.4, static_cast<double>(kernelTable.plotScale));
    screen::drawLine(1, y0, mainWindowWidth, y0, axisColour);
    double referenceY = y0;
    double kernelY = y0;
    for (int i = 1; i <= mainWindowWidth; ++i) {
        const int j = roundToInt(i * 10000.0 / mainWindowWidth);
        const double reference = std::sin(2 * j * 3.1415927 / 10000) * 0.7 * s;
        const double kernel = s * kernelTable.sine[j];
        screen::drawLine(i - 1, referenceY, i, y0 - 35 * reference, referenceCurveColour);
        screen::drawLine(i - 1, kernelY, i, y0 - 35 * kernel, kernelCurveColour);
        referenceY = y0 - 35 * reference;
        kernelY = y0 - 35 * kernel;
    }
}

void drawHarmonicView() {
    screen::clear();
    for (int r = 5; r <= highestRow; r += 2) {
        const NoteRow& row = noteRows[r];
        for (int h = firstHarmonic; h <= row.harmonicCount; ++h) {
            if (row.harmonicRow[h] < 1 || row.harmonicRow[h] > highestRow) continue;
            const double e = 80.0 * row.harmonicWeight[h] + 1;
            const double left = 20.0 * (h - 1);
            screen::drawBox(left + 100.0 / 76, chartBottom - e, left + 100.0 / 76 + 20, chartBottom, harmonicColour);
            const double x = left + 20.0 * r / 76;
            screen::fillBox(x, chartBottom - e, x + 1.1, chartBottom, harmonicColour);
        }
    }
    screen::printAt(5, 28, harmonicLabel());
    screen::printAt(6, 28, "[X][C]cpu");
}

void runToMidi() {
    enter();
    PanelSteps steps;
    while (keyText.empty()) runFrame(steps);
    leave();
}

}  // namespace korvane
