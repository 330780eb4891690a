// Equalizer and reverb files: the exact bytes written, the name rules, the
// bounds given to loaded values, and files that cannot be read, are short
// or cannot be written.
#include <cmath>
#include <filesystem>

#include "app/text/text_file.h"
#include "effects/preset_files.h"
#include "effects_support.h"
#include "playback/playlist.h"
#include "tests/scripted_desk.h"

namespace korvane {
namespace {

class PresetFilesTest : public ScriptedDeskTest {
protected:
    void SetUp() override {
        openDesk("korvane-presets-");
        resetEffects();
    }
    void TearDown() override { closeDesk(); }

    // The next file dialog chooses name, and the question that follows is
    // answered.
    void choose(const std::string& name, bool yes = true) {
        desk.answerFileDialog({DialogOutcome::Chosen, name});
        desk.answerOkCancel(yes);
    }
    // A name after which no question comes.
    void chooseOnly(const std::string& name) { desk.answerFileDialog({DialogOutcome::Chosen, name}); }

    static std::string contentOf(const std::string& path) {
        std::string content;
        readTextFile(path, content);
        return content;
    }

    std::vector<std::string> shown(DialogKind kind) const {
        std::vector<std::string> texts;
        for (const ShownDialog& d : desk.dialogs())
            if (d.kind == kind) texts.push_back(kind == DialogKind::File ? d.title : d.text);
        return texts;
    }

    static bool sameEqualizer(const EqualizerSettings& a, const EqualizerSettings& b) {
        return a.lowf == b.lowf && a.highf == b.highf && a.lowg == b.lowg && a.midg == b.midg && a.highg == b.highg;
    }
};

TEST_F(PresetFilesTest, SavingTheDefaultsWritesTheExactLines) {
    choose("preset");
    saveEqualizerFile();
    EXPECT_EQ(contentOf("preset.equ"), " 200\r\n 8000\r\n2\r\n1\r\n1.2\r\n 1\r\n");
    choose("room");
    saveReverbFile(reverb3);
    EXPECT_EQ(contentOf("room.rev"), " 0.55\r\n 0.34\r\n 225\r\n 300\r\n");

    ASSERT_EQ(desk.dialogs().size(), 6u);
    const ShownDialog& dialog = desk.dialogs()[0];
    EXPECT_EQ(dialog.title, "save equalizer");
    EXPECT_TRUE(dialog.request.save);
    EXPECT_EQ(dialog.request.folder, "save/");
    EXPECT_EQ(dialog.request.filters[0].pattern, "*.equ");
    EXPECT_EQ(shown(DialogKind::Question),
              (std::vector<std::string>{"save in preset.equ ?", "save in room.rev ?"}));
    EXPECT_EQ(shown(DialogKind::Message),
              (std::vector<std::string>{"equalizer saved as preset.equ", "reverb saved as room.rev"}));
}

// Reals go out in "%.7g" form even where seven digits do not single out
// their float; loaded, such a file saves to the same bytes again.
TEST_F(PresetFilesTest, SavedRealsHaveSevenDigitsAndASavedFileSavesToTheSameBytes) {
    const EqualizerFile equalizerFile{{200, 8000, 1.0f / 3.0f, std::nextafter(1.0f, 2.0f), 9.999999f}, 2};
    const std::string equalizerText = equalizerFileText(equalizerFile);
    EXPECT_EQ(equalizerText, " 200\r\n 8000\r\n0.3333333\r\n1\r\n9.999999\r\n 2\r\n");
    EqualizerFile loadedEqualizer;
    ASSERT_EQ(parseEqualizerFile(equalizerText, loadedEqualizer), equalizerFileLines);
    EXPECT_EQ(equalizerFileText(loadedEqualizer), equalizerText);

    const ReverbPreset preset{std::nextafter(0.1f, 1.0f), 0.123456789f, 225.0f, 300.0f};
    const std::string reverbText = reverbFileText(preset);
    EXPECT_EQ(reverbText, " 0.1\r\n 0.1234568\r\n 225\r\n 300\r\n");
    ReverbPreset loadedPreset;
    ASSERT_EQ(parseReverbFile(reverbText, loadedPreset), reverbFileLines);
    EXPECT_EQ(loadedPreset.kreverb1, 0.1f);
    EXPECT_EQ(reverbFileText(loadedPreset), reverbText);
}

TEST_F(PresetFilesTest, NamesMustEndInTheExtension) {
    const struct {
        const char* chosen;
        const char* file;  // "" when refused
    } cases[] = {{"my.preset", ""}, {"bass.EQU", "bass.EQU"}, {" dir.v2/bass ", "dir.v2/bass.equ"},
                 {"x.rev", ""}};
    std::filesystem::create_directory("dir.v2");
    for (const auto& c : cases) {
        const bool good = *c.file != '\0';
        if (good)
            choose(c.chosen);
        else
            chooseOnly(c.chosen);
        saveEqualizerFile();
        if (good)
            EXPECT_TRUE(std::filesystem::exists(c.file)) << c.chosen;
        else
            EXPECT_EQ(shown(DialogKind::Message).back(), std::string("bad name ") + c.chosen);
    }
    EXPECT_FALSE(std::filesystem::exists("my.preset"));
    EXPECT_EQ(shown(DialogKind::Question).size(), 2u);
}

TEST_F(PresetFilesTest, LoadedValuesGetTheStartUpBoundsButTheOrderStaysAsRead) {
    ASSERT_TRUE(writeTextFile("wild.equ", "5\r\n90000\r\n-3\r\n50\r\n1.5\r\n0\r\n"));
    choose("wild.equ");
    loadEqualizerFile();
    EXPECT_TRUE(sameEqualizer(equalizer, {20, 20000, 0.0f, 10.0f, 1.5f}));
    EXPECT_EQ(eqOrder, 0);
    EXPECT_EQ(shown(DialogKind::Question).back(), "load wild.equ ?");

    ASSERT_TRUE(writeTextFile("wild.rev", " 0.9\n -1\n 5000\n 224.5\n"));
    choose("wild.rev");
    ReverbPreset preset = reverb2;
    loadReverbFile(preset);
    EXPECT_EQ(preset.kreverb1, 0.7f);
    EXPECT_EQ(preset.kreverb2, 0.0f);
    EXPECT_EQ(preset.Treverb1, 1000.0f);
    EXPECT_EQ(preset.Treverb2, 224.0f);
}

TEST_F(PresetFilesTest, ShortMissingOrUnreadableFilesOrANoChangeNothing) {
    ASSERT_TRUE(writeTextFile("three.equ", "300\r\n5000\r\n3\r\n"));
    ASSERT_TRUE(writeTextFile("two.rev", " 0.1\r\n 0.1\r\n"));
    ASSERT_TRUE(writeTextFile("good.rev", " 0.1\r\n 0.1\r\n 100\r\n 100\r\n"));
    std::filesystem::create_directory("folder.equ");
    const EqualizerSettings before = equalizer;
    const ReverbPreset presetBefore = reverb3;

    chooseOnly("three.equ");
    loadEqualizerFile();
    EXPECT_EQ(shown(DialogKind::Message).back(), "short file, nothing loaded (3 of 6 lines): three.equ");
    chooseOnly("two.rev");
    loadReverbFile(reverb3);
    EXPECT_EQ(shown(DialogKind::Message).back(), "short file, nothing loaded (2 of 4 lines): two.rev");
    chooseOnly("gone.equ");
    loadEqualizerFile();
    EXPECT_EQ(shown(DialogKind::Message).back(), "not found :gone.equ");
    chooseOnly("folder.equ");
    loadEqualizerFile();
    EXPECT_EQ(shown(DialogKind::Message).back(), "cannot read folder.equ");
    choose("good.rev", false);
    loadReverbFile(reverb3);

    EXPECT_TRUE(shown(DialogKind::Question) == std::vector<std::string>{"load good.rev ?"});
    EXPECT_TRUE(sameEqualizer(equalizer, before));
    EXPECT_EQ(eqOrder, 1);
    EXPECT_EQ(reverb3.kreverb1, presetBefore.kreverb1);
    EXPECT_EQ(reverb3.Treverb2, presetBefore.Treverb2);
}

TEST_F(PresetFilesTest, AFileThatCannotBeWrittenIsReportedNotAnnounced) {
    lastFolder = "/music/";
    choose("no-such-folder/flat.equ");
    saveEqualizerFile();
    EXPECT_EQ(shown(DialogKind::Message), std::vector<std::string>{"cannot write no-such-folder/flat.equ"});
    EXPECT_EQ(lastFolder, "/music/");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
}  // namespace korvane
