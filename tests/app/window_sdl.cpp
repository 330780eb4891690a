#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/window/sdl_platform.h"

namespace korvane {
namespace {

// The SDL platform without a desktop: SDL's dummy video driver (the
// offscreen one leaks its EGL set-up, which the leak checker reports).
class SdlPlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        desk = std::make_unique<SdlPlatform>();
        if (!desk->ready()) GTEST_SKIP() << "SDL's dummy video driver is not available: " << SDL_GetError();
        ASSERT_TRUE(desk->openWindow(344, 93));
    }

    void pushKeyDown(SDL_Keycode sym, Uint16 modifiers = KMOD_NONE) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = sym;
        event.key.keysym.mod = modifiers;
        SDL_PushEvent(&event);
    }
    void pushText(const char* utf8) {
        SDL_Event event{};
        event.type = SDL_TEXTINPUT;
        std::strncpy(event.text.text, utf8, sizeof event.text.text - 1);
        SDL_PushEvent(&event);
    }

    std::unique_ptr<SdlPlatform> desk;
};

TEST_F(SdlPlatformTest, OpensAWindowThatKeepsItsPosition) {
    EXPECT_EQ(desk->videoDriver(), "dummy");
    EXPECT_EQ(desk->framebuffer().width, 344);
    EXPECT_EQ(desk->framebuffer().height, 93);
    desk->setWindowPosition({120, 80});
    desk->present();
    EXPECT_EQ(desk->windowPosition().x, 120);
    EXPECT_EQ(desk->windowPosition().y, 80);
    const DesktopInfo info = desk->desktop();
    EXPECT_GT(info.width, 0);
    EXPECT_GT(info.height, 0);
    EXPECT_GT(info.depth, 0);

    // A new window replaces the old one with a fresh black framebuffer.
    desk->framebuffer().set(0, 0, rgb(1, 2, 3));
    ASSERT_TRUE(desk->openWindow(500, 400));
    EXPECT_EQ(desk->framebuffer().width, 500);
    EXPECT_EQ(desk->framebuffer().at(0, 0), rgb(0, 0, 0));
}

TEST_F(SdlPlatformTest, TypedTextKeepsItsCaseAndLatin1Characters) {
    pushText("aQ ");
    pushText("\xC3\xA9\xE2\x82\xAC!");  // e acute (233), the euro sign (no code), "!"
    EXPECT_TRUE(desk->keyWaiting());
    for (int code : {int{'a'}, int{'Q'}, int{' '}, 233, int{'!'}}) EXPECT_EQ(desk->readKey(), code);
    EXPECT_EQ(desk->readKey(), 0);
}

TEST_F(SdlPlatformTest, KeysGiveTheirControlOrExtendedCodes) {
    const std::pair<SDL_Keycode, int> keys[] = {
        {SDLK_RETURN, 13},    {SDLK_ESCAPE, 27},  {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9},    {SDLK_F1, 315},
        {SDLK_F9, 323},       {SDLK_F10, 324},    {SDLK_F11, 389},     {SDLK_F12, 390},  {SDLK_HOME, 327},
        {SDLK_UP, 328},       {SDLK_PAGEUP, 329}, {SDLK_LEFT, 331},    {SDLK_RIGHT, 333}, {SDLK_END, 335},
        {SDLK_DOWN, 336},     {SDLK_PAGEDOWN, 337}, {SDLK_INSERT, 338}, {SDLK_DELETE, 339},
    };
    for (const auto& [sym, code] : keys) {
        pushKeyDown(sym);
        EXPECT_EQ(desk->readKey(), code) << SDL_GetKeyName(sym);
    }
    pushKeyDown(SDLK_a);  // letters arrive as text, not as key presses
    pushKeyDown(SDLK_KP_8);  // the keypad's Up while Num Lock is off
    pushKeyDown(SDLK_KP_8, KMOD_NUM);  // its digit, which comes as text
    EXPECT_EQ(desk->readKey(), 328);
    EXPECT_EQ(desk->readKey(), 0);
}

TEST_F(SdlPlatformTest, CloseRequestsBecomeKey363AndLeaveTheWindowOpen) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(desk->readKey(), 363);
    EXPECT_EQ(desk->readKey(), 0);
    EXPECT_EQ(desk->framebuffer().width, 344);
}

TEST_F(SdlPlatformTest, MouseOutsideTheWindowReadsAllMinusOne) {
    MouseReading reading{1, 2, 3, 4};
    EXPECT_FALSE(desk->readMouse(reading));
    EXPECT_EQ(reading.x, -1);
    EXPECT_EQ(reading.y, -1);
    EXPECT_EQ(reading.wheel, -1);
    EXPECT_EQ(reading.buttons, -1);
}

TEST_F(SdlPlatformTest, NoFileDialogWithoutADisplayOfItsOwn) {
    const FileDialogResult result = desk->fileDialog({"load playlist", "/", {{"a", "*.a"}}, false});
    EXPECT_EQ(result.outcome, DialogOutcome::Unavailable);
}

TEST_F(SdlPlatformTest, SleepKeepsCollectingInput) {
    const double start = desk->clock();
    pushText("z");
    desk->sleepMs(20);
    EXPECT_GE(desk->clock() - start, 0.020);
    EXPECT_EQ(desk->readKey(), 'z');
}

}  // namespace
}  // namespace korvane
