// A fresh folder for the running test: "<prefix><process id>-<test name>" in
// the temporary folder, made empty. The test removes it when done.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace korvane {

inline std::filesystem::path freshTestFolder(const std::string& prefix) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

}  // namespace korvane
