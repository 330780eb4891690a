#include "app/window/scripted_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace korvane {

bool ScriptedPlatform::openWindow(int width, int height) {
    framebuffer_.resize(width, height);
    windowOpen_ = true;
    opened_.push_back({width, height});
    return true;
}

void ScriptedPlatform::pushKey(int code) {
    keys_.push_back(code);
}

void ScriptedPlatform::pushKeyAt(double seconds, int code) {
    auto later = std::upper_bound(timedKeys_.begin(), timedKeys_.end(), seconds,
                                  [](double at, const TimedKey& key) { return at < key.at; });
    timedKeys_.insert(later, TimedKey{seconds, code});
}

void ScriptedPlatform::typeLine(const std::string& text) {
    for (unsigned char byte : text) keys_.push_back(byte);
    keys_.push_back(key::Enter);
}

void ScriptedPlatform::pushMouse(MouseReading reading) {
    mouse_.push_back(reading);
}

void ScriptedPlatform::answerOkCancel(bool ok) {
    okCancelAnswers_.push_back(ok);
}

void ScriptedPlatform::answerFileDialog(FileDialogResult result) {
    fileAnswers_.push_back(std::move(result));
}

void ScriptedPlatform::releaseDueKeys() {
    const double now = clock();
    auto due = timedKeys_.begin();
    while (due != timedKeys_.end() && due->at <= now) keys_.push_back((due++)->code);
    timedKeys_.erase(timedKeys_.begin(), due);
}

int ScriptedPlatform::readKey() {
    releaseDueKeys();
    if (keys_.empty()) return 0;
    int code = keys_.front();
    keys_.pop_front();
    return code;
}

bool ScriptedPlatform::keyWaiting() {
    releaseDueKeys();
    return !keys_.empty();
}

bool ScriptedPlatform::readMouse(MouseReading& reading) {
    if (mouse_.empty()) {
        reading = MouseReading{};
        return false;
    }
    reading = mouse_.front();
    mouse_.pop_front();
    return true;
}

void ScriptedPlatform::advance(double seconds) {
    const double from = clock();
    const double to = from + std::max(seconds, 0.0);
    if (to > timeLimit_) {
        std::fprintf(stderr,
                     "ScriptedPlatform: virtual time passed %g s; the program waits for input the script "
                     "does not give\n",
                     timeLimit_);
        std::abort();
    }
    now_.store(to, std::memory_order_release);
    if (timeHook_) timeHook_(from, to);
}

void ScriptedPlatform::sleepMs(int milliseconds) {
    advance(milliseconds / 1000.0);
}

void ScriptedPlatform::showMessageBox(const std::string& text, const std::string& title) {
    dialogs_.push_back({DialogKind::Message, text, title, {}});
}

bool ScriptedPlatform::askOkCancel(const std::string& text, const std::string& title) {
    dialogs_.push_back({DialogKind::Question, text, title, {}});
    if (okCancelAnswers_.empty()) return false;
    bool ok = okCancelAnswers_.front();
    okCancelAnswers_.pop_front();
    return ok;
}

FileDialogResult ScriptedPlatform::fileDialog(const FileDialogRequest& request) {
    dialogs_.push_back({DialogKind::File, {}, request.title, request});
    if (fileAnswers_.empty()) return {};
    FileDialogResult result = std::move(fileAnswers_.front());
    fileAnswers_.pop_front();
    return result;
}

}  // namespace korvane
