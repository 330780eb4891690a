// The scripted desk that the shell's and the playback's tests start from: the
// scripted platform with the main window open on a cleared panel, the
// engine's key reader on the platform's queue, and a fresh temporary working
// folder named after the running test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/window/screen.h"
#include "app/window/scripted_platform.h"
#include "engine/fbs.h"
#include "tests/test_folder.h"

namespace korvane {

class ScriptedDeskTest : public ::testing::Test {
protected:
    // The working folder becomes "<folderPrefix><process id>-<test name>" in
    // the temporary folder, made empty.
    void openDesk(const std::string& folderPrefix) {
        installPlatform(&desk);
        FBS_SET_KEYREADER([] { return platform().readKey(); });
        desk.openWindow(mainWindowWidth, mainWindowHeight);
        screen::setTextColours(defaultForeground, panelBackground);
        screen::clear();
        previousFolder = std::filesystem::current_path();
        folder = freshTestFolder(folderPrefix);
        std::filesystem::current_path(folder);
    }

    // No key reader; back in the working folder of before, the test's folder
    // removed.
    void closeDesk() {
        FBS_SET_KEYREADER(nullptr);
        std::filesystem::current_path(previousFolder);
        std::filesystem::remove_all(folder);
    }

    ScriptedPlatform desk;
    std::filesystem::path folder;
    std::filesystem::path previousFolder;
};

}  // namespace korvane
