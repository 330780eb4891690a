// Notices, questions and the file chooser: filters, titles, the in-window
// prompt and the path limit.
#include <fstream>

#include "app/input/dialogs.h"
#include "shell_support.h"

namespace korvane {
namespace {

using DialogTest = ShellTest;

FileDialogResult chosen(const std::string& path) { return {DialogOutcome::Chosen, path}; }
const FileDialogResult cancelled{DialogOutcome::Cancelled, ""};

TEST(FieldOf, TakesTheNthFieldAndEmptyBeyondTheLast) {
    EXPECT_EQ(fieldOf("a;b;c", 2, ';'), "b");
    EXPECT_EQ(fieldOf("a;b;c", 3, ';'), "c");
    EXPECT_EQ(fieldOf("a;b;c", 4, ';'), "");
    EXPECT_EQ(fieldOf("a;b;c", 0, ';'), "");
    EXPECT_EQ(fieldOf("a", 2, ';'), "");
    EXPECT_EQ(fieldOf("", 1, ';'), "");
    EXPECT_EQ(fieldOf("a;;c", 3, ';'), "c");
}

TEST(FilterList, MakesOnePairPerItemAndCountsEveryCharacterAgainstTheLimit) {
    std::vector<FileFilter> f;
    ASSERT_TRUE(buildFilterList("*.a;*.b,Bees", f));
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].description + "|" + f[0].pattern, " (*.a)|*.a");
    EXPECT_EQ(f[1].description + "|" + f[1].pattern, "Bees (*.b)|*.b");
    EXPECT_EQ(f[2].description + "|" + f[2].pattern, "All  (*.*)|*.*");
    // "*.x,D" stores D " (*.x)" 0 "*.x" 0, then "All  (*.*)" 0 "*.*" 0 0:
    // 27 characters besides D in a list of 200.
    EXPECT_TRUE(buildFilterList("*.x," + std::string(173, 'd'), f));
    EXPECT_FALSE(buildFilterList("*.x," + std::string(174, 'd'), f));
}

TEST_F(DialogTest, TitleDecidesSaveOrOpenAndIsCutTo31Characters) {
    desk.answerFileDialog(chosen("/x/a.mp3list"));
    EXPECT_EQ(chooseFile("load playlist", "/music/*.mp3list"), "/x/a.mp3list");
    for (const char* title : {"save playlist", "Save", "0123456789012345678901234567890123"}) {
        desk.answerFileDialog(cancelled);
        EXPECT_EQ(chooseFile(title, "*.equ"), "");
    }
    EXPECT_EQ(chooseFile("load", "/f/*.x," + std::string(190, 'd')), "") << "no room for its filters";

    const auto& shown = desk.dialogs();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_FALSE(shown[0].request.save);
    EXPECT_EQ(shown[0].request.folder, "/music/");
    EXPECT_TRUE(shown[1].request.save);
    EXPECT_FALSE(shown[2].request.save);
    EXPECT_EQ(shown[2].request.folder, std::filesystem::current_path().string() + "/");
    EXPECT_EQ(shown[3].request.title, "0123456789012345678901234567890");
}

TEST_F(DialogTest, PathsOverTheLimitAreRefusedNotCut) {
    const std::string longest = "/" + std::string(259, 'p');
    desk.answerFileDialog(chosen(longest));
    EXPECT_EQ(chooseFile("add mp3file", "*.mp3"), longest);
    desk.answerFileDialog(chosen(longest + "q"));
    EXPECT_EQ(chooseFile("add mp3file", "*.mp3"), "");
    ASSERT_EQ(desk.dialogs().size(), 3u);
    EXPECT_EQ(desk.dialogs()[2].title, "notice");
}

TEST_F(DialogTest, WithoutADesktopDialogAPathIsTypedInTheWindow) {
    std::ofstream("song.mp3") << "x";
    const std::string here = std::filesystem::current_path().string() + "/";
    desk.typeLine("missing.mp3");  // an open dialog wants an existing file: asked again
    desk.typeLine("  song.mp3 ");
    EXPECT_EQ(chooseFile("add mp3file", "*.mp3"), here + "song.mp3");
    desk.typeLine(here + "song.mp3");
    EXPECT_EQ(chooseFile("add mp3file", "/elsewhere/*.mp3"), here + "song.mp3");
    desk.typeLine("new.mp3list");  // a save dialog wants an existing folder only
    EXPECT_EQ(chooseFile("save playlist", "*.mp3list"), here + "new.mp3list");
    desk.typeLine("nofolder/new.mp3list");
    desk.typeLine("");
    EXPECT_EQ(chooseFile("save playlist", "*.mp3list"), "");
    EXPECT_EQ(desk.keysLeft(), 0u);
}

TEST_F(DialogTest, QuestionsAnswerYesOnlyForOkAndEveryBoxPausesAfterwards) {
    desk.answerOkCancel(true);
    EXPECT_EQ(askYesNo("remove ?", "korvane"), "yes");
    desk.answerOkCancel(false);
    EXPECT_EQ(askYesNo("remove ?", "korvane"), "no");
    EXPECT_EQ(askYesNo("box not shown", "korvane"), "no");
    showNotice("hello", "notice");
    EXPECT_EQ(desk.dialogs().at(3).text, "hello");
    EXPECT_NEAR(desk.clock(), 0.8, 1e-9);
}

TEST_F(DialogTest, MessageAndWaitDropsAWaitingKeyAndWaitsForTheNext) {
    desk.pushKey('a');
    desk.pushKeyAt(2.0, 'b');
    desk.pushKeyAt(5.0, 'c');
    showMessageAndWait("No free playback driver found!", "");
    EXPECT_GE(desk.clock(), 2.0);
    EXPECT_LT(desk.clock(), 2.2);
    EXPECT_EQ(desk.keysLeft(), 1u);
}

}  // namespace
}  // namespace korvane
