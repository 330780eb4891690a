#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/window/platform.h"
#include "app/window/zenity_dialog.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "korvane-window-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Output of a shell command line, or "" when it fails.
std::string commandOutput(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char block[256];
        while (std::fgets(block, sizeof block, pipe)) out += block;
        if (pclose(pipe) != 0) out.clear();
    }
    return out;
}

bool haveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

Framebuffer testPattern() {
    Framebuffer image;
    image.resize(37, 11);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) image.set(x, y, rgb(x * 7, y * 23, (x * y) & 255));
    return image;
}

TEST(FramebufferPng, WrittenImageReadsBackPixelForPixel) {
    TemporaryFolder folder;
    const Framebuffer image = testPattern();
    ASSERT_TRUE(image.savePng(folder / "a.png"));
    EXPECT_FALSE(fs::exists(folder / "a.png.tmp"));

    Framebuffer back;
    ASSERT_TRUE(back.loadPng(folder / "a.png"));
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 11);
    EXPECT_EQ(back.pixels, image.pixels);
}

TEST(FramebufferPng, ImageMagickOpensItAndItsFilteredRgbaCopyLoads) {
    if (!haveProgram("identify") || !haveProgram("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    TemporaryFolder folder;
    const Framebuffer image = testPattern();
    ASSERT_TRUE(image.savePng(folder / "a.png"));
    EXPECT_EQ(commandOutput("identify -format '%w %h %m' " + (folder / "a.png")), "37 11 PNG");

    // ImageMagick picks its own row filters; RGBA exercises the 4-byte path.
    const std::string convert = "convert " + (folder / "a.png") + " -define png:color-type=6 " + (folder / "b.png");
    ASSERT_EQ(std::system(convert.c_str()), 0);
    Framebuffer copy;
    ASSERT_TRUE(copy.loadPng(folder / "b.png"));
    EXPECT_EQ(copy.pixels, image.pixels);
}

TEST(FramebufferPng, DamagedOrMissingFilesLeaveTheBufferAlone) {
    TemporaryFolder folder;
    ASSERT_TRUE(testPattern().savePng(folder / "a.png"));
    std::string bytes;
    {
        std::ifstream in(folder / "a.png", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    Framebuffer target;
    target.resize(2, 2);
    const auto original = target.pixels;

    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x10;
    std::ofstream(folder / "flipped.png", std::ios::binary) << flipped;
    std::ofstream(folder / "short.png", std::ios::binary) << bytes.substr(0, bytes.size() - 20);
    for (const char* name : {"flipped.png", "short.png", "missing.png"}) {
        EXPECT_FALSE(target.loadPng(folder / name)) << name;
        EXPECT_EQ(target.pixels, original) << name;
    }
    EXPECT_FALSE(Framebuffer{}.savePng(folder / "empty.png"));
    EXPECT_FALSE(testPattern().savePng(folder / "no-such-folder/a.png"));
}

TEST(ZenityArguments, CarryTitleFolderFiltersAndSaveMode) {
    FileDialogRequest request{
        "load playlist", "/music/", {{" (*.mp3list)", "*.mp3list"}, {"All  (*.*)", "*.*"}}, false};
    EXPECT_EQ(zenityArguments(request, true),
              (std::vector<std::string>{"--file-selection", "--title=load playlist", "--filename=/music/",
                                        "--file-filter= (*.mp3list) | *.mp3list", "--file-filter=All  (*.*) | *"}));

    request = {"save equalizer", "/home/u/save", {{"a|b", "*.equ"}}, true};
    EXPECT_EQ(zenityArguments(request, true),
              (std::vector<std::string>{"--file-selection", "--title=save equalizer", "--filename=/home/u/save/",
                                        "--file-filter=a/b | *.equ", "--save", "--confirm-overwrite"}));
    EXPECT_EQ(zenityArguments(request, false).back(), "--save");
}

// A stand-in zenity on the PATH: it records its arguments, one per line,
// and answers as the test's environment tells it.
class FakeZenity : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string script = folder / "zenity";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "if [ \"$1\" = --help-file-selection ]; then echo '  --confirm-overwrite  Confirm'; "
                                 "exit 0; fi\n"
                                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$FAKE_ZENITY_ARGS\"\n"
                                 "printf '%s' \"$FAKE_ZENITY_OUTPUT\"\n"
                                 "exit \"$FAKE_ZENITY_STATUS\"\n";
        fs::permissions(script, fs::perms::owner_all);
        savedPath = std::getenv("PATH");
        setenv("PATH", (folder.path().string() + ":" + savedPath).c_str(), 1);
        setenv("FAKE_ZENITY_ARGS", (folder / "args").c_str(), 1);
    }
    void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }

    FileDialogResult answer(const std::string& output, int status, bool save = false) {
        setenv("FAKE_ZENITY_OUTPUT", output.c_str(), 1);
        setenv("FAKE_ZENITY_STATUS", std::to_string(status).c_str(), 1);
        ZenityDialog dialog;
        EXPECT_TRUE(dialog.installed());
        return dialog.run({"add mp3file", "/my music/", {{" (*.mp3)", "*.mp3"}}, save}, [] {});
    }
    std::string recordedArguments() {
        std::ifstream in(folder / "args");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TemporaryFolder folder;
    std::string savedPath;
};

TEST_F(FakeZenity, ChosenPathComesBackWithoutItsNewline) {
    const FileDialogResult result = answer("/my music/a b.mp3\n", 0);
    EXPECT_EQ(result.outcome, DialogOutcome::Chosen);
    EXPECT_EQ(result.path, "/my music/a b.mp3");
    EXPECT_EQ(recordedArguments(),
              "--file-selection\n--title=add mp3file\n--filename=/my music/\n--file-filter= (*.mp3) | *.mp3\n");
}

TEST_F(FakeZenity, SaveDialogAsksBeforeOverwritingWhenZenityCan) {
    EXPECT_EQ(answer("/x.equ\n", 0, true).outcome, DialogOutcome::Chosen);
    EXPECT_NE(recordedArguments().find("--save\n--confirm-overwrite\n"), std::string::npos);
}

TEST_F(FakeZenity, ExitStatusOneCancelsAndOtherFailuresAreUnavailable) {
    EXPECT_EQ(answer("", 1).outcome, DialogOutcome::Cancelled);
    EXPECT_EQ(answer("", 0).outcome, DialogOutcome::Cancelled);
    EXPECT_EQ(answer("", 5).outcome, DialogOutcome::Unavailable);
}

TEST_F(FakeZenity, OverlongOutputIsBounded) {
    const FileDialogResult result = answer("/" + std::string(100000, 'x') + "\n", 0);
    EXPECT_EQ(result.outcome, DialogOutcome::Chosen);
    EXPECT_EQ(result.path.size(), 4096u);
}

}  // namespace
}  // namespace korvane
