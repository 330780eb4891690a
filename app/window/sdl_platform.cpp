#include "app/window/sdl_platform.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/window/korvane_icon.h"

namespace korvane {

namespace {

// Keys not yet read; later ones are dropped, as a keyboard buffer does.
constexpr std::size_t maxQueuedKeys = 256;
// The wheel position starts far from -1, the value of a failed reading, so
// that no number of notches turned down makes it look like one.
constexpr int wheelStart = 1 << 24;

int extendedKey(SDL_Keycode sym, Uint16 modifiers) {
    switch (sym) {
        case SDLK_RETURN: case SDLK_KP_ENTER: return key::Enter;
        case SDLK_ESCAPE: return key::Escape;
        case SDLK_BACKSPACE: return key::Backspace;
        case SDLK_TAB: return key::Tab;
        case SDLK_F1: case SDLK_F2: case SDLK_F3: case SDLK_F4: case SDLK_F5:
        case SDLK_F6: case SDLK_F7: case SDLK_F8: case SDLK_F9: case SDLK_F10:
            return key::F1 + static_cast<int>(sym - SDLK_F1);
        case SDLK_F11: return key::F11;
        case SDLK_F12: return key::F12;
        case SDLK_HOME: return key::Home;
        case SDLK_UP: return key::Up;
        case SDLK_PAGEUP: return key::PageUp;
        case SDLK_LEFT: return key::Left;
        case SDLK_RIGHT: return key::Right;
        case SDLK_END: return key::End;
        case SDLK_DOWN: return key::Down;
        case SDLK_PAGEDOWN: return key::PageDown;
        case SDLK_INSERT: return key::Insert;
        case SDLK_DELETE: return key::Delete;
        default: break;
    }
    // The keypad moves the cursor while Num Lock is off (with it on, its
    // digits arrive as typed text).
    if (modifiers & KMOD_NUM) return 0;
    switch (sym) {
        case SDLK_KP_7: return key::Home;
        case SDLK_KP_8: return key::Up;
        case SDLK_KP_9: return key::PageUp;
        case SDLK_KP_4: return key::Left;
        case SDLK_KP_6: return key::Right;
        case SDLK_KP_1: return key::End;
        case SDLK_KP_2: return key::Down;
        case SDLK_KP_3: return key::PageDown;
        case SDLK_KP_0: return key::Insert;
        case SDLK_KP_PERIOD: return key::Delete;
        default: return 0;
    }
}

// SDL's button mask in our order: bit 0 left, bit 1 right, bit 2 middle.
int buttonBits(Uint32 sdlButtons) {
    return ((sdlButtons & SDL_BUTTON_LMASK) ? 1 : 0) | ((sdlButtons & SDL_BUTTON_RMASK) ? 2 : 0) |
           ((sdlButtons & SDL_BUTTON_MMASK) ? 4 : 0);
}

// Title bars and task bars show korvane's icon, the menu entry's 64 x 64
// one, drawn here so that no installed file is needed (x11 hands it on as
// _NET_WM_ICON). A window whose icon cannot be set works all the same.
void setKorvaneIcon(SDL_Window* window) {
    Framebuffer icon = korvaneIcon(2);
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(icon.pixels.data(), icon.width, icon.height, 32,
                                                              icon.width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
}

}  // namespace

SdlPlatform::SdlPlatform() : wheel_(wheelStart) {
    // The close button must arrive as a key, never end the program by itself.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    // A window this small is shown fastest by plain shared-memory copies;
    // probing OpenGL for it would cost start-up time (the environment's
    // SDL_FRAMEBUFFER_ACCELERATION still decides when set).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    videoReady_ = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    // With no display SDL falls back to a driver that shows nothing; the
    // player would then run unseen. Such a driver is used only when asked
    // for by name (SDL_VIDEODRIVER), as tests and headless runs do.
    const std::string driver = videoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool headless = driver == "offscreen" || driver == "dummy";
    if (videoReady_ && headless && (!asked || std::string(asked).find(driver) == std::string::npos)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoReady_ = false;
    }
    if (videoReady_) SDL_StartTextInput();
}

SdlPlatform::~SdlPlatform() {
    closeWindow();
    // Only the video: the audio plug-out may still use SDL's audio.
    if (videoReady_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::string SdlPlatform::videoDriver() const {
    const char* name = videoReady_ ? SDL_GetCurrentVideoDriver() : nullptr;
    return name ? name : "";
}

DesktopInfo SdlPlatform::desktop() {
    DesktopInfo info;
    if (!videoReady_) return info;
    const int display = window_ ? std::max(SDL_GetWindowDisplayIndex(window_), 0) : 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(display, &mode) != 0) return info;
    info.width = mode.w;
    info.height = mode.h;
    info.depth = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
    return info;
}

bool SdlPlatform::openWindow(int width, int height) {
    closeWindow();
    if (!videoReady_ || width < 1 || height < 1) return false;
    window_ = SDL_CreateWindow("korvane", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                               SDL_WINDOW_HIDDEN);
    if (!window_) return false;
    setKorvaneIcon(window_);
    framebuffer_.resize(width, height);
    shownPixels_.clear();
    mustPresent_ = true;
    return true;
}

void SdlPlatform::closeWindow() {
    if (!window_) return;
    SDL_GetWindowPosition(window_, &position_.x, &position_.y);
    SDL_DestroyWindow(window_);
    window_ = nullptr;
    windowShown_ = false;
    pressedButtons_ = 0;
}

ScreenPoint SdlPlatform::windowPosition() {
    if (window_) SDL_GetWindowPosition(window_, &position_.x, &position_.y);
    return position_;
}

void SdlPlatform::setWindowPosition(ScreenPoint position) {
    position_ = position;
    if (window_) SDL_SetWindowPosition(window_, position.x, position.y);
}

void SdlPlatform::raiseWindow() {
    if (window_ && windowShown_) SDL_RaiseWindow(window_);
}

void SdlPlatform::present() {
    if (!window_) return;
    if (!windowShown_) {
        // SDL maps a window where it last heard the window was: let it hear
        // of a move made while the window was hidden.
        SDL_PumpEvents();
        SDL_ShowWindow(window_);
        windowShown_ = true;
        mustPresent_ = true;
    }
    if (!mustPresent_ && shownPixels_ == framebuffer_.pixels) return;
    SDL_Surface* target = SDL_GetWindowSurface(window_);
    if (!target || framebuffer_.width < 1) return;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(framebuffer_.pixels.data(), framebuffer_.width,
                                                             framebuffer_.height, 32, framebuffer_.width * 4,
                                                             SDL_PIXELFORMAT_ARGB8888);
    if (!source) return;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    const bool copied = SDL_BlitSurface(source, nullptr, target, nullptr) == 0;
    SDL_FreeSurface(source);
    if (copied && SDL_UpdateWindowSurface(window_) == 0) {
        shownPixels_ = framebuffer_.pixels;
        mustPresent_ = false;
    }
}

void SdlPlatform::queueKey(int code) {
    if (code != 0 && keys_.size() < maxQueuedKeys) keys_.push_back(code);
}

// UTF-8 text to key codes: characters up to 255 (ASCII and Latin-1) give
// their code; others have no key code and are dropped.
void SdlPlatform::queueText(const char* utf8) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8);
    for (std::size_t i = 0; bytes[i] != 0;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x80) {
            queueKey(lead);
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if ((lead == 0xC2 || lead == 0xC3) && (bytes[i + 1] & 0xC0) == 0x80)
            queueKey(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F));
        for (std::size_t k = 0; k < length && bytes[i] != 0; ++k) ++i;
    }
}

void SdlPlatform::handle(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT:
            queueKey(key::CloseRequest);
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_CLOSE: queueKey(key::CloseRequest); break;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESTORED: mustPresent_ = true; break;
                default: break;
            }
            break;
        case SDL_TEXTINPUT:
            queueText(event.text.text);
            break;
        case SDL_KEYDOWN:
            queueKey(extendedKey(event.key.keysym.sym, event.key.keysym.mod));
            break;
        case SDL_MOUSEWHEEL: {
            const int notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            wheel_ += notches;
            break;
        }
        case SDL_MOUSEBUTTONDOWN: {
            const int bit = event.button.button == SDL_BUTTON_LEFT    ? 1
                            : event.button.button == SDL_BUTTON_RIGHT ? 2
                            : event.button.button == SDL_BUTTON_MIDDLE ? 4
                                                                       : 0;
            pressedButtons_ |= bit;
            pressX_ = event.button.x;
            pressY_ = event.button.y;
            break;
        }
        default:
            break;
    }
}

void SdlPlatform::poll() {
    if (!videoReady_) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) handle(event);
    present();
}

int SdlPlatform::readKey() {
    poll();
    if (keys_.empty()) return 0;
    const int code = keys_.front();
    keys_.pop_front();
    return code;
}

bool SdlPlatform::keyWaiting() {
    poll();
    return !keys_.empty();
}

// Buttons are read as held now, or pressed since the last reading: a click
// shorter than the caller's polling interval still counts, at the place it
// was pressed.
bool SdlPlatform::readMouse(MouseReading& reading) {
    poll();
    reading = MouseReading{};
    const int pressed = pressedButtons_;
    pressedButtons_ = 0;
    if (!window_ || SDL_GetMouseFocus() != window_) return false;
    int x = 0, y = 0;
    const int held = buttonBits(SDL_GetMouseState(&x, &y));
    if (pressed & ~held) {
        x = pressX_;
        y = pressY_;
    }
    if (x < 0 || y < 0 || x >= framebuffer_.width || y >= framebuffer_.height) return false;
    reading = {x, y, wheel_, held | pressed};
    return true;
}

double SdlPlatform::clock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits in SDL for the next event or the end of the sleep, whichever comes
// first (x11 and wayland block on the display's connection, so an idle
// sleep costs no wake-ups); events are taken as they come.
void SdlPlatform::sleepMs(int milliseconds) {
    using std::chrono::steady_clock;
    const steady_clock::time_point end = steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    poll();
    for (;;) {
        const steady_clock::duration left = end - steady_clock::now();
        if (left.count() <= 0) return;
        if (!videoReady_) {
            std::this_thread::sleep_for(left);
            continue;
        }
        SDL_Event event;
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (SDL_WaitEventTimeout(&event, static_cast<int>(waitMs))) {
            handle(event);
            poll();
        }
    }
}

void SdlPlatform::showMessageBox(const std::string& text, const std::string& title) {
    present();
    const SDL_MessageBoxButtonData ok{
        SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "OK"};
    const SDL_MessageBoxData box{SDL_MESSAGEBOX_INFORMATION, window_, title.c_str(), text.c_str(), 1, &ok, nullptr};
    int pressed = -1;
    SDL_ShowMessageBox(&box, &pressed);
}

bool SdlPlatform::askOkCancel(const std::string& text, const std::string& title) {
    present();
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "Cancel"},
    };
    const SDL_MessageBoxData box{static_cast<Uint32>(SDL_MESSAGEBOX_INFORMATION) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
                                 window_,
                                 title.c_str(),
                                 text.c_str(),
                                 2,
                                 buttons,
                                 nullptr};
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return false;
    return pressed == 1;
}

// zenity needs a display of its own: with the offscreen and dummy drivers,
// or no display named, the caller prompts in the window instead.
FileDialogResult SdlPlatform::fileDialog(const FileDialogRequest& request) {
    const std::string driver = videoDriver();
    const char* display = std::getenv(driver == "wayland" ? "WAYLAND_DISPLAY" : "DISPLAY");
    if ((driver != "x11" && driver != "wayland") || !display || !*display || !zenity_.installed()) return {};
    present();
    // The dialog is modal: keys pressed in the window meanwhile are dropped.
    const std::size_t keysBefore = keys_.size();
    return zenity_.run(request, [&] {
        poll();
        keys_.resize(std::min(keys_.size(), keysBefore));
    });
}

}  // namespace korvane
