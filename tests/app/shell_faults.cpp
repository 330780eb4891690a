// Faults around the player: a writer killed in the middle of a file, a
// working folder that has become read-only by the end, and an audio output
// whose thread stops delivering.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/config.h"
#include "app/lifecycle.h"
#include "app/text/text_file.h"
#include "shell_support.h"
#include "tests/file_rights.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class ShellFaultTest : public ShellTest {
protected:
    // The names in the working folder.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }

    static std::string contentOf(const std::string& path) {
        std::stringstream content;
        content << std::ifstream(path, std::ios::binary).rdbuf();
        return content.str();
    }

    // A korvane.ini playing one generated track, every setting 0.
    static void writePlayingConfiguration() {
        fs::copy_file(std::string(KORVANE_TEST_AUDIO_DIR) + "/tone_44100_stereo.mp3", "track.mp3");
        std::string text;
        for (int line = 1; line <= 25; ++line) text += " 0\r\n";
        ASSERT_TRUE(writeTextFile(configFileName, text + "track.mp3\r\nfinlist\r\n"));
    }
};

// Whether process pid has a file of folder open that has no name yet: the
// writer is between creating its temporary file and linking it.
bool writingUnnamedFileIn(pid_t pid, const fs::path& folder) {
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target.rfind(folder.string() + "/", 0) == 0 && target.find("(deleted)") != std::string::npos)
            return true;
    }
    return false;
}

TEST_F(ShellFaultTest, AWriterKilledInTheMiddleLeavesTheOldFileAndNothingElse) {
    const int probe = ::open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "the temporary folder's file system has no unnamed files";
    ::close(probe);
    const std::string oldText = " 0\r\n 400\r\n";
    ASSERT_TRUE(writeTextFile(configFileName, oldText));
    // Large enough that writing and syncing it takes a while.
    const std::string newText(48 << 20, 'x');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) ::_exit(writeTextFile(configFileName, newText) ? 0 : 1);
        bool caught = false;
        while (!caught && ::waitpid(writer, nullptr, WNOHANG) == 0) {
            caught = writingUnnamedFileIn(writer, folder);
            if (!caught) std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ASSERT_TRUE(caught) << "the writer ended before it was seen writing";
        ::kill(writer, SIGKILL);
        int status = 0;
        ::waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(contentOf(configFileName), oldText) << "attempt " << attempt;
        EXPECT_EQ(names(), std::vector<std::string>{configFileName}) << "attempt " << attempt;
    }
    // A write that is not interrupted replaces the file.
    ASSERT_TRUE(writeTextFile(configFileName, "new\r\n"));
    EXPECT_EQ(contentOf(configFileName), "new\r\n");
    EXPECT_EQ(names(), std::vector<std::string>{configFileName});
}

TEST_F(ShellFaultTest, AFolderMadeReadOnlyKeepsTheOldSettingsAndSaysTheyWereNotSaved) {
    writePlayingConfiguration();
    const std::string before = contentOf(configFileName);
    ::chmod(folder.c_str(), 0555);
    PermissionBitsObeyed asAUser;
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0)
        GTEST_SKIP() << "the folder stays writable";

    ASSERT_EQ(FBS_USE_HOSTOUTPUT(1), 1);
    desk.pushKey('g');  // a changed setting that cannot be kept
    desk.pushKeyAt(2.0, key::Escape);
    EXPECT_EQ(runKorvane(), 0);
    FBS_USE_HOSTOUTPUT(0);

    EXPECT_EQ(contentOf(configFileName), before);
    EXPECT_EQ(names(), (std::vector<std::string>{configFileName, "track.mp3"}));
    ASSERT_FALSE(desk.dialogs().empty());
    EXPECT_EQ(desk.dialogs().back().text, "cannot write korvane.ini: settings not saved");
    EXPECT_EQ(midi.closed, std::vector<int>{-1}) << "the rest of the shutdown ran";
}

TEST_F(ShellFaultTest, AnOutputThatStallsStillLetsKeysWorkAndEscapeEndTheProgramAtOnce) {
    writePlayingConfiguration();
    const std::string plugFolder = KORVANE_TESTPLUG_DIR "/stall/";
    const std::string previousPath = FBS_GET_PLUGPATH();
    FBS_SET_PLUGPATH(plugFolder.c_str());
    // The output thread hangs after its 20th buffer; the main loop goes on.
    desk.pushKeyAt(1.0, 'g');
    desk.pushKeyAt(2.0, key::Right);
    desk.pushKeyAt(3.0, key::Escape);
    // Real time from the moment Escape is waiting to the program's end.
    std::chrono::steady_clock::time_point escaped{};
    desk.onTimeAdvance([&](double, double to) {
        if (to >= 3.0 && escaped == std::chrono::steady_clock::time_point{}) escaped = std::chrono::steady_clock::now();
    });
    EXPECT_EQ(runKorvane(), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - escaped).count();
    desk.onTimeAdvance(nullptr);
    FBS_SET_PLUGPATH(previousPath.c_str());

    EXPECT_LT(seconds, 1.0) << "the end waits a quarter of a second for the output, not for ever";
    EXPECT_EQ(equalizerOn, 1);
    EXPECT_GE(desk.clock(), 3.0);
    EXPECT_NE(contentOf(configFileName).find(" 1\r\n"), std::string::npos) << "the settings were written";
    EXPECT_EQ(midi.closed, std::vector<int>{-1});

    // The engine kept the output's buffers; once the thread goes on it is released.
    void* plugout = ::dlopen((plugFolder + "plug-sdl.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(plugout, nullptr);
    reinterpret_cast<void (*)()>(::dlsym(plugout, "TESTPLUG_RELEASE"))();
    ::dlclose(plugout);
    EXPECT_EQ(FBS_EXIT(), 1);
}

}  // namespace
}  // namespace korvane
