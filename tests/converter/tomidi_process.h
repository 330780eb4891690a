// korvane-tomidi run as a user runs it, in a process of its own: its exit
// status and what it wrote on standard error.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/test_folder.h"
namespace korvane::converter {

struct TomidiRun {
    int status = -1;     // the exit status; -1 when it did not exit
    std::string errors;  // what it wrote on standard error
};

// korvane-tomidi started and not yet waited for.
struct StartedTomidi {
    pid_t pid = -1;
    int errors = -1;  // the read end of its standard error
};

// Starts korvane-tomidi with the arguments in folder. beforeExec runs in the
// child just before the program starts (limits, rights, standard input).
inline StartedTomidi startTomidi(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                                 const std::function<void()>& beforeExec = {}) {
    std::vector<std::string> words{KORVANE_TOMIDI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int errors[2];
    if (::pipe(errors) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errors[1], 2);
        ::close(errors[0]);
        ::close(errors[1]);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, 1);
        if (::chdir(folder.c_str()) != 0) ::_exit(127);
        if (beforeExec) beforeExec();
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(errors[1]);
    return {child, errors[0]};
}

// Waits for a started korvane-tomidi: its status and what it wrote.
inline TomidiRun finishTomidi(const StartedTomidi& started) {
    TomidiRun run;
    if (started.errors < 0) return run;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(started.errors, buffer, sizeof buffer)) > 0) run.errors.append(buffer, static_cast<std::size_t>(got));
    ::close(started.errors);
    int status = 0;
    if (started.pid > 0 && ::waitpid(started.pid, &status, 0) == started.pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

inline TomidiRun runTomidi(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                           const std::function<void()>& beforeExec = {}) {
    return finishTomidi(startTomidi(arguments, folder, beforeExec));
}

// A fresh working folder in the temporary folder, named after the test and
// removed after it.
class TomidiFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = freshTestFolder("korvane-tomidi-");
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder;
};

}  // namespace korvane::converter
