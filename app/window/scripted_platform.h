// A platform for tests: no desktop, a virtual clock that only sleeps move,
// and input, dialog answers and desktop facts set up by the test. Whatever
// the program shows (windows, message boxes, questions, file dialogs) is
// recorded for the test to inspect.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/window/platform.h"
#include "app/window/random_numbers.h"

namespace korvane {

enum class DialogKind { Message, Question, File };

struct ShownDialog {
    DialogKind kind = DialogKind::Message;
    std::string text;  // empty for file dialogs
    std::string title;
    FileDialogRequest request;  // file dialogs only
};

struct WindowSize {
    int width = 0;
    int height = 0;
};

class ScriptedPlatform : public Platform {
public:
    // --- set-up and inspection by the test ---

    void setDesktop(DesktopInfo info) { desktop_ = info; }
    // The key code now, or when the virtual clock reaches the given time.
    void pushKey(int code);
    void pushKeyAt(double seconds, int code);
    // Each byte of the text as its key code, then Enter.
    void typeLine(const std::string& text);
    // One reading per readMouse call, in order; with none left the pointer
    // is outside the window.
    void pushMouse(MouseReading reading);
    // Answers for the next askOkCancel calls; with none left the box counts
    // as not shown (false).
    void answerOkCancel(bool ok);
    // Results for the next fileDialog calls; with none left the dialog is
    // Unavailable.
    void answerFileDialog(FileDialogResult result);
    // Called with the old and new virtual time whenever a sleep advances it.
    void onTimeAdvance(std::function<void(double from, double to)> hook) { timeHook_ = std::move(hook); }
    // A loop that waits for input the script never gives would sleep for
    // ever; past this virtual time a sleep ends the process with a message.
    void setTimeLimit(double seconds) { timeLimit_ = seconds; }
    // Advances the virtual clock as a sleep would.
    void advance(double seconds);

    const std::vector<ShownDialog>& dialogs() const { return dialogs_; }
    const std::vector<WindowSize>& openedWindows() const { return opened_; }
    bool windowOpen() const { return windowOpen_; }
    std::size_t keysLeft() const { return keys_.size() + timedKeys_.size(); }
    std::size_t mouseReadingsLeft() const { return mouse_.size(); }

    // --- Platform ---

    DesktopInfo desktop() override { return desktop_; }
    bool openWindow(int width, int height) override;
    void closeWindow() override { windowOpen_ = false; }
    ScreenPoint windowPosition() override { return position_; }
    void setWindowPosition(ScreenPoint position) override { position_ = position; }
    Framebuffer& framebuffer() override { return framebuffer_; }
    void present() override {}

    int readKey() override;
    bool keyWaiting() override;
    void returnKey(int code) override { keys_.push_front(code); }
    bool readMouse(MouseReading& reading) override;
    MediaCommandQueue& mediaCommands() override { return mediaCommands_; }
    void raiseWindow() override { ++raised_; }
    int timesRaised() const { return raised_; }

    double clock() override { return now_.load(std::memory_order_acquire); }
    void sleepMs(int milliseconds) override;
    void seedRandom(std::uint64_t seed) override { random_.seed(seed); }
    double random() override { return random_.next(); }

    void showMessageBox(const std::string& text, const std::string& title) override;
    bool askOkCancel(const std::string& text, const std::string& title) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;

private:
    struct TimedKey {
        double at;
        int code;
    };

    void releaseDueKeys();

    DesktopInfo desktop_{1920, 1080, 24};
    ScreenPoint position_{0, 0};
    Framebuffer framebuffer_;
    bool windowOpen_ = false;
    std::vector<WindowSize> opened_;

    std::deque<int> keys_;
    std::vector<TimedKey> timedKeys_;  // in the order pushed; released when due
    std::deque<MouseReading> mouse_;
    MediaCommandQueue mediaCommands_;
    int raised_ = 0;

    // Written by the test's thread, read by an output thread it drives.
    std::atomic<double> now_{0.0};
    double timeLimit_ = 3600.0;
    std::function<void(double, double)> timeHook_;
    RandomNumbers random_;

    std::deque<bool> okCancelAnswers_;
    std::deque<FileDialogResult> fileAnswers_;
    std::vector<ShownDialog> dialogs_;
};

}  // namespace korvane
