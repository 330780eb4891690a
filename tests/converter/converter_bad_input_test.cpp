// korvane-tomidi on the files a music collection holds besides good MP3s:
// cut, tagged oddly, in other MPEG layers, unreadable, oddly named; and a
// disk that fills while it writes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/text/text_file.h"
#include "tests/converter/midi_reading.h"
#include "tests/converter/tomidi_process.h"
#include "tests/file_bytes.h"
#include "tests/file_rights.h"

namespace korvane::converter {
namespace {

namespace fs = std::filesystem;

std::string track(const std::string& name) { return bytesOf(std::string(KORVANE_TEST_AUDIO_DIR) + "/" + name + ".mp3"); }

// Every file in folder and below, relative to it.
std::vector<std::string> filesUnder(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory()) found.push_back(entry.path().lexically_relative(folder).string());
    std::sort(found.begin(), found.end());
    return found;
}

class ConverterBadInput : public TomidiFolderTest {
protected:
    void SetUp() override {
        TomidiFolderTest::SetUp();
        fs::create_directories(folder / "in");
    }

    void write(const std::string& name, const std::string& bytes) {
        fs::create_directories((folder / "in" / name).parent_path());
        ASSERT_TRUE(writeTextFile((folder / "in" / name).string(), bytes));
    }
};

TEST_F(ConverterBadInput, EachBadFileIsNamedOrConvertedAndTheBatchGoesOn) {
    const std::string tone = track("tone_11025_stereo");
    const std::string unsyncedBody = std::string("TXXX\0\0\0\x08\0\0\0a\xFF\0\xFB\x90\0", 18);
    struct Case {
        std::string name;
        std::string bytes;
        std::string message;  // "" when it converts
    };
    std::vector<Case> cases = {
        {"empty.mp3", "", "holds no MPEG audio frame"},
        {"tag larger than the file.mp3", id3Header(0, 0x0FFFFFFF) + tone, ""},
        {"tag of size zero.mp3", id3Header(0, 0) + tone, ""},
        {"unsynchronised tag.mp3", id3Header(0x80, unsyncedBody.size()) + unsyncedBody + tone, ""},
        {"free format.mp3", track("free_44100_stereo"), ""},
        {"layer 2.mp3", track("layer2_44100_stereo"), ""},
        {"layer 1.mp3", track("layer1_48000_mono"), ""},
        {"sub folder é/spaces and ünïcödé ♫.mp3", tone, ""},
        {"unreadable.mp3", tone, "cannot be read"},
    };
    for (std::size_t cut = 997; cut < tone.size(); cut += 997)
        cases.push_back({"cut/" + std::to_string(cut) + ".mp3", tone.substr(0, cut), ""});
    for (const Case& c : cases) write(c.name, c.bytes);
    fs::permissions(folder / "in/unreadable.mp3", fs::perms::none);
    fs::create_directories(folder / "in/a folder.mp3");  // not a file: not listed

    const TomidiRun run =
        runTomidi({"-q", "--jobs", "2", "-o", "out", "in"}, folder, obeyPermissionBitsAfterExec);
    EXPECT_EQ(run.status, 1) << run.errors;
    const std::string plainMidi = bytesOf(folder / "out/tag of size zero.mid");
    ASSERT_FALSE(plainMidi.empty());
    for (const Case& c : cases) {
        const fs::path midi = (folder / "out" / c.name).replace_extension(".mid");
        const std::string line = "korvane-tomidi: in/" + c.name + ": " + c.message + "\n";
        if (c.message.empty()) {
            EXPECT_TRUE(fs::exists(midi)) << c.name << "\n" << run.errors;
            EXPECT_EQ(run.errors.find(c.name), std::string::npos) << run.errors;
            if (!fs::exists(midi)) continue;
            const std::vector<ParsedEvent> events = parseMidi(bytesOf(midi));
            ASSERT_FALSE(events.empty()) << c.name;
            // A cut file's notes end with what is left of it, not with the
            // length its summary frame gave before the cut.
            if (c.name.rfind("cut/", 0) == 0) {
                EXPECT_LT(events.back().tick, 3100.0 * c.bytes.size() / tone.size() + 100) << c.name;
            }
        } else {
            EXPECT_FALSE(fs::exists(midi)) << c.name;
            EXPECT_NE(run.errors.find(line), std::string::npos) << "expected " << line << "got\n" << run.errors;
        }
    }
    // Any tag is stepped over exactly: the same audio gives the same notes.
    EXPECT_EQ(bytesOf(folder / "out/unsynchronised tag.mid"), plainMidi);
    EXPECT_EQ(bytesOf(folder / "out/tag larger than the file.mid"), plainMidi);
    EXPECT_EQ(bytesOf(folder / "out/sub folder é/spaces and ünïcödé ♫.mid"), plainMidi);
    // Nothing but the MIDI files of the files that converted.
    EXPECT_EQ(filesUnder(folder / "out").size(), cases.size() - 2);
}

TEST_F(ConverterBadInput, AFolderGivenByNameIsSearchedAndAnEmptyOneIsNamed) {
    fs::create_directories(folder / "nothing.mp3");
    const TomidiRun run = runTomidi({"nothing.mp3"}, folder);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "korvane-tomidi: no .mp3 file in nothing.mp3\n");
}

TEST_F(ConverterBadInput, ADiskThatFillsLeavesNoFileAndStatusOne) {
    write("song.mp3", track("piano_a4"));
    const struct {
        const char* what;
        rlim_t fileSizeLimit;  // bytes any one file may reach
        std::vector<std::string> arguments;
        std::string failing;
    } cases[] = {
        {"the MIDI file", 20, {"-o", "out/song.mid", "in/song.mp3"}, "out/song.mid"},
        {"the WAV file, the first written", 64 * 1024,
         {"--wav", "out/song.wav", "--notes", "out/song.csv", "-o", "out/song.mid", "in/song.mp3"}, "out/song.wav"},
    };
    for (const auto& c : cases) {
        fs::remove_all(folder / "out");
        fs::create_directories(folder / "out");
        // Past the limit a write fails with EFBIG, as on a full disk, once
        // the signal that would end the process is ignored.
        const rlim_t limit = c.fileSizeLimit;
        const TomidiRun run = runTomidi(c.arguments, folder, [limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &size);
        });
        EXPECT_EQ(run.status, 1) << c.what << ": " << run.errors;
        const std::string line = "korvane-tomidi: in/song.mp3: cannot write " + c.failing + ": File too large\n";
        EXPECT_EQ(run.errors, line) << c.what;
        EXPECT_TRUE(filesUnder(folder / "out").empty()) << c.what << ": " << ::testing::PrintToString(filesUnder(folder / "out"));
    }
}

TEST_F(ConverterBadInput, AnOutputThatFailsKeepsEveryResultOfTheRunBefore) {
    write("song.mp3", track("piano_a4"));
    fs::create_directories(folder / "out");
    fs::create_directories(folder / "locked");
    ASSERT_TRUE(writeTextFile((folder / "out/song.wav").string(), "the last run's sound"));
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    // The sound is written first and could be put in place; the MIDI file cannot.
    const TomidiRun run = runTomidi({"--wav", "out/song.wav", "-o", "locked/song.mid", "in/song.mp3"}, folder,
                                    obeyPermissionBitsAfterExec);
    fs::permissions(folder / "locked", fs::perms::owner_all);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "korvane-tomidi: in/song.mp3: cannot write locked/song.mid: Permission denied\n");
    EXPECT_EQ(bytesOf(folder / "out/song.wav"), "the last run's sound");
    EXPECT_EQ(filesUnder(folder / "out"), std::vector<std::string>{"song.wav"});
    EXPECT_TRUE(fs::is_empty(folder / "locked"));
}

}  // namespace
}  // namespace korvane::converter
