// The real program's platform: one SDL2 window showing a software-drawn
// framebuffer, SDL's keyboard and mouse, the steady clock, SDL's message
// boxes and zenity's file dialog. Works with SDL's x11, wayland, offscreen
// and dummy video drivers (the last two have no pointer and no dialogs).
// Main thread only, except clock().
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/window/platform.h"
#include "app/window/random_numbers.h"
#include "app/window/zenity_dialog.h"

struct SDL_Window;
union SDL_Event;

namespace korvane {

class SdlPlatform : public Platform {
public:
    // Starts SDL's video; ready() tells whether that worked.
    SdlPlatform();
    ~SdlPlatform() override;
    SdlPlatform(const SdlPlatform&) = delete;
    SdlPlatform& operator=(const SdlPlatform&) = delete;

    bool ready() const { return videoReady_; }
    // The video driver SDL chose ("x11", "wayland", "offscreen", "dummy"), or "".
    std::string videoDriver() const;

    DesktopInfo desktop() override;
    // The window stays hidden until it is first presented, so that a
    // position set right after opening is where it appears. It carries
    // korvane's icon (korvane_icon.h) for title bars and task bars.
    bool openWindow(int width, int height) override;
    void closeWindow() override;
    ScreenPoint windowPosition() override;
    void setWindowPosition(ScreenPoint position) override;
    Framebuffer& framebuffer() override { return framebuffer_; }
    void present() override;

    int readKey() override;
    bool keyWaiting() override;
    void returnKey(int code) override { keys_.push_front(code); }
    bool readMouse(MouseReading& reading) override;
    MediaCommandQueue& mediaCommands() override { return mediaCommands_; }
    void raiseWindow() override;

    double clock() override;
    void sleepMs(int milliseconds) override;
    void seedRandom(std::uint64_t seed) override { random_.seed(seed); }
    double random() override { return random_.next(); }

    void showMessageBox(const std::string& text, const std::string& title) override;
    bool askOkCancel(const std::string& text, const std::string& title) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;

private:
    // Takes every waiting SDL event and shows the framebuffer if it changed.
    void poll();
    void handle(const SDL_Event& event);
    void queueKey(int code);
    void queueText(const char* utf8);

    bool videoReady_ = false;
    SDL_Window* window_ = nullptr;
    bool windowShown_ = false;
    ScreenPoint position_{0, 0};  // last position set or read
    Framebuffer framebuffer_;
    std::vector<std::uint32_t> shownPixels_;  // what the window shows now
    bool mustPresent_ = true;  // the window lost its contents (exposed, resized)

    std::deque<int> keys_;
    MediaCommandQueue mediaCommands_;
    int wheel_;
    int pressedButtons_ = 0;  // buttons pressed since the last mouse reading
    int pressX_ = -1, pressY_ = -1;

    RandomNumbers random_;
    ZenityDialog zenity_;
};

}  // namespace korvane
