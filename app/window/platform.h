// The platform layer: everything korvane asks of the desktop, the input
// devices and the process. Two implementations: SdlPlatform (the real
// program) and ScriptedPlatform (tests: a virtual clock, scripted input and
// dialog answers, a framebuffer that can be read and saved).
//
// Main thread only, except clock(), which the output thread reads too, and
// the media command queue, which any thread may push to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/window/media_commands.h"

namespace korvane {

// Colours are 0xAARRGGBB with alpha 255.
constexpr std::uint32_t rgb(int red, int green, int blue) {
    return 0xFF000000u | (static_cast<std::uint32_t>(red & 255) << 16) |
           (static_cast<std::uint32_t>(green & 255) << 8) | static_cast<std::uint32_t>(blue & 255);
}

// The window's pixels, drawn by the program and shown by present().
struct Framebuffer {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // row-major, width x height

    // Fresh pixels, all opaque black; negative sizes give an empty buffer.
    void resize(int w, int h);
    std::uint32_t at(int x, int y) const;  // 0 outside
    void set(int x, int y, std::uint32_t colour);  // clipped
    // An 8-bit RGB PNG, written to a temporary name and renamed over the
    // path, so a failed write leaves no half file. False on any failure and
    // for an empty buffer.
    bool savePng(const std::string& path) const;
    // Replaces the contents with an 8-bit RGB or RGBA PNG (not interlaced),
    // such as savePng writes. False, contents unchanged, for anything else.
    bool loadPng(const std::string& path);
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

struct DesktopInfo {
    int width = 0;
    int height = 0;
    int depth = 0;
};

// A reading fails, with all four values -1, while the pointer is outside the
// window. wheel counts notches, +1 per notch turned up (away from the user).
// buttons: bit 0 left, bit 1 right, bit 2 middle.
struct MouseReading {
    int x = -1;
    int y = -1;
    int wheel = -1;
    int buttons = -1;
};

struct FileFilter {
    std::string description;
    std::string pattern;
};

struct FileDialogRequest {
    std::string title;  // as shown, already cut to its length limit
    std::string folder;  // start folder, ending in "/"
    std::vector<FileFilter> filters;  // the first one is selected
    bool save = false;
};

enum class DialogOutcome { Chosen, Cancelled, Unavailable };

struct FileDialogResult {
    DialogOutcome outcome = DialogOutcome::Unavailable;
    std::string path;
};

// Extended key codes: 256 + the PC keyboard's scan code.
namespace key {
constexpr int Backspace = 8, Tab = 9, Enter = 13, Escape = 27, Space = 32;
constexpr int F1 = 315, F9 = 323, F10 = 324, F11 = 389, F12 = 390;
constexpr int Home = 327, Up = 328, PageUp = 329, Left = 331, Right = 333;
constexpr int End = 335, Down = 336, PageDown = 337, Insert = 338, Delete = 339;
constexpr int CloseRequest = 363;
}  // namespace key

class Platform {
public:
    virtual ~Platform() = default;

    virtual DesktopInfo desktop() = 0;
    // Opens a window of the given size (closing the previous one) with a
    // fresh framebuffer. False when no window can be opened.
    virtual bool openWindow(int width, int height) = 0;
    virtual void closeWindow() = 0;
    virtual ScreenPoint windowPosition() = 0;
    virtual void setWindowPosition(ScreenPoint position) = 0;
    virtual Framebuffer& framebuffer() = 0;
    // Shows the framebuffer. Drawing only changes the framebuffer; it shows
    // at the next present(), key or mouse poll, sleep, or box.
    virtual void present() = 0;

    // One key code from the queue, 0 when none; never waits.
    virtual int readKey() = 0;
    virtual bool keyWaiting() = 0;
    // Puts a key back at the front of the queue: the next readKey gives it.
    virtual void returnKey(int code) = 0;
    // False (and all -1) while the pointer is outside the window.
    virtual bool readMouse(MouseReading& reading) = 0;
    // The desktop's media controls: the queue their receiver pushes to, and
    // the oldest waiting command (action None when none waits; never waits).
    virtual MediaCommandQueue& mediaCommands() = 0;
    MediaCommand readMediaCommand() { return mediaCommands().take(); }
    // Brings the window to the front of the desktop.
    virtual void raiseWindow() = 0;

    // Seconds from a monotonic high-resolution counter. Thread-safe.
    virtual double clock() = 0;
    // Sleeps; input keeps being collected meanwhile.
    virtual void sleepMs(int milliseconds) = 0;
    virtual void seedRandom(std::uint64_t seed) = 0;
    // Uniform in [0, 1).
    virtual double random() = 0;

    // Modal boxes parented to the window.
    virtual void showMessageBox(const std::string& text, const std::string& title) = 0;
    // OK gives true; Cancel, Escape, closing, or a box that cannot be shown give false.
    virtual bool askOkCancel(const std::string& text, const std::string& title) = 0;
    // The desktop's file dialog; Unavailable when there is none (the caller
    // then prompts inside the window).
    virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;
};

// The platform the program runs on; installed once by main() or a test.
// Using it before one is installed ends the process with a message.
Platform& platform();
void installPlatform(Platform* platform);

}  // namespace korvane
