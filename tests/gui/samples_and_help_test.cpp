#include "gui/window_fixture.h"

namespace quellomir::testing {
namespace {

using SamplesAndHelp = WindowTest;

TEST_F(SamplesAndHelp, SamplesFillBothSlotsAndTheSettings) {
    store("LastFolderDot", "/kept");
    Form1& window = start();
    window.PushButton9_Click();
    window.PushButton9_Click();
    const QString sample1 = programFolder + QStringLiteral("/Samples/Folder1/");
    const QString sample2 = programFolder + QStringLiteral("/Samples/Folder2/");
    ASSERT_EQ(window.folder1().count(), 1);
    ASSERT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.folder1().text(1), sample1);
    EXPECT_EQ(window.folder2().text(1), sample2);
    EXPECT_EQ(stored("ListView1"), sample1);
    EXPECT_EQ(stored("ListView2"), sample2);
    EXPECT_EQ(stored("LastFolderDot"), QStringLiteral("/kept"));
    EXPECT_TRUE(dialogs.messages.empty()); // missing sample folders are no failure here
}

TEST_F(SamplesAndHelp, ProgramInTheRootFolderGivesADoubledSeparator) {
    programFolder = QStringLiteral("/");
    Form1& window = start();
    window.PushButton9_Click();
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("//Samples/Folder1/"));
    EXPECT_EQ(stored("ListView2"), QStringLiteral("//Samples/Folder2/"));
}

TEST_F(SamplesAndHelp, BusyCursorKeepsTheFolder1RowWhenLoadingSamples) {
    store("ListView1", "/one/");
    store("ListView2", "/two/");
    Form1& window = start();
    window.setCursorSetting(CursorSetting::Busy);
    window.PushButton9_Click();
    EXPECT_EQ(window.folder1().count(), 2);
    EXPECT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Busy);
}

TEST_F(SamplesAndHelp, HelpShowsTheInstructionsWithCarriageReturns) {
    Form1& window = start();
    window.PushButton13_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral(
                  "Please follow steps 1 - 4 in order.\r\rPlease make sure you have write access to both "
                  "folders before pressing the 'Sync' button otherwise synchronization will not work "
                  "because files can not be copied (written).\r\rQuestions? Please contact Team "
                  "Venmarro at https://venmarro.example/contact"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Quellomir"));
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::None);
}

} // namespace
} // namespace quellomir::testing
