#include "gui/window_fixture.h"
#include "support/pinned_environment.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>

namespace quellomir::testing {
namespace {

using FolderSlots = WindowTest;

TEST_F(FolderSlots, ChosenFolderGetsATrailingSeparatorAndIsStored) {
    PinnedEnvironment home("HOME", "/home/ann");
    Form1& window = start();
    dialogs.folderAnswers = {QStringLiteral("/home/ann/Pictures")};
    window.findChild<QPushButton*>(QStringLiteral("PushButton3"))->click();

    ASSERT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("/home/ann/Pictures/"));
    EXPECT_EQ(stored("ListView1"), QStringLiteral("/home/ann/Pictures/"));
    EXPECT_EQ(stored("LastFolderDot"), QStringLiteral("/home/ann/Pictures"));
    EXPECT_EQ(dialogs.pickerTitles, QStringList{QStringLiteral("Please select folder")});
    EXPECT_EQ(dialogs.pickerInitialFolders,
              QStringList{QStringLiteral("/home/ann")}); // not the working folder
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Default);
}

TEST_F(FolderSlots, RootFolderKeepsItsOneSeparator) {
    Form1& window = start();
    dialogs.folderAnswers = {QStringLiteral("/")};
    window.PushButton1_Click();
    ASSERT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.folder2().text(1), QStringLiteral("/"));
    EXPECT_EQ(stored("ListView2"), QStringLiteral("/"));
    EXPECT_EQ(stored("LastFolderDot"), QStringLiteral("/"));
}

TEST_F(FolderSlots, CancelEmptiesTheSlotButKeepsTheStoredFolder) {
    store("ListView1", "/old/one/");
    store("LastFolderDot", "/old/one");
    Form1& window = start();
    ASSERT_EQ(window.folder1().count(), 1);
    dialogs.folderAnswers = {QString()};
    window.PushButton3_Click();
    EXPECT_EQ(window.folder1().count(), 0);
    EXPECT_EQ(stored("ListView1"), QStringLiteral("/old/one/"));
    EXPECT_EQ(stored("LastFolderDot"), QStringLiteral("/old/one"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FolderSlots, SameFolderForBothSlotsIsAccepted) {
    Form1& window = start();
    dialogs.folderAnswers = {QStringLiteral("/srv/share"), QStringLiteral("/srv/share")};
    window.PushButton3_Click();
    window.PushButton1_Click();
    EXPECT_EQ(window.folder1().text(1), window.folder2().text(1));
}

TEST_F(FolderSlots, BusyCursorKeepsTheFolder1RowOnly) {
    store("ListView1", "/one/");
    store("ListView2", "/two/");
    Form1& window = start();
    window.setCursorSetting(CursorSetting::Busy);

    dialogs.folderAnswers = {QStringLiteral("/new/one")};
    window.PushButton3_Click(); // keeps the old row and appends the new one
    ASSERT_EQ(window.folder1().count(), 2);
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("/one/"));
    EXPECT_EQ(window.folder1().text(2), QStringLiteral("/new/one/"));

    window.setCursorSetting(CursorSetting::Busy);
    dialogs.folderAnswers = {QStringLiteral("/new/two")};
    window.PushButton1_Click(); // the Folder 2 side empties its slot whatever the cursor
    ASSERT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.folder2().text(1), QStringLiteral("/new/two/"));
}

TEST_F(FolderSlots, ClearFolderEmptiesTheSlotAndStoresTheEmptyText) {
    store("ListView1", "/one/");
    store("ListView2", "/two/");
    Form1& window = start();
    window.PushButton2_Click();
    window.PushButton4_Click();
    EXPECT_EQ(window.folder1().count(), 0);
    EXPECT_EQ(window.folder2().count(), 0);
    EXPECT_EQ(stored("ListView1"), QString());
    EXPECT_EQ(stored("ListView2"), QString());

    Form1& again = start();
    EXPECT_EQ(again.folder1().count(), 0);
    EXPECT_EQ(again.folder2().count(), 0);
}

TEST_F(FolderSlots, ClearFolderOnAnEmptySlotStoresTheEmptyText) {
    Form1& window = start();
    window.PushButton2_Click();
    EXPECT_EQ(window.folder1().count(), 0);
    EXPECT_EQ(stored("ListView1"), QString());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(FolderSlots, ClearFolder1UnderTheBusyCursorKeepsTheRowButStoresEmpty) {
    store("ListView1", "/one/");
    store("ListView2", "/two/");
    Form1& window = start();
    window.setCursorSetting(CursorSetting::Busy);
    window.PushButton2_Click();
    window.PushButton4_Click();
    EXPECT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(stored("ListView1"), QString());
    EXPECT_EQ(window.folder2().count(), 0);
}

TEST_F(FolderSlots, FailedSaveIsReportedWithItsLineAndTheRowStaysShown) {
    Form1& window = start();
    makeSettingsUnwritable();

    dialogs.folderAnswers = {QStringLiteral("/data/music")};
    window.PushButton3_Click();

    ASSERT_EQ(dialogs.messages.size(), 2u);
    const ShownMessage& lastDot = dialogs.messages[0];
    EXPECT_EQ(lastDot.title, QStringLiteral("Application Error"));
    EXPECT_EQ(lastDot.icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(lastDot.text.contains(QStringLiteral("Venmarro.conf")));
    EXPECT_TRUE(lastDot.text.endsWith(
        QStringLiteral("\r\nin Quellomir2021/08/31.Form1.PushButton3_Click at line 108\r\r"
                       "Please email screenshot of this message to support@venmarro.example")));
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("PushButton3_Click at line 114\r\r")));
    ASSERT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("/data/music/"));
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Default);
}

TEST_F(FolderSlots, FailedClearIsReportedAtLine102) {
    Form1& window = start();
    makeSettingsUnwritable();
    window.PushButton4_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("PushButton4_Click at line 102\r\r")));
}

TEST_F(FolderSlots, CursorPolicyFollowsTheMouseUnlessBusy) {
    Form1& window = start();
    auto* button = window.findChild<QPushButton*>(QStringLiteral("PushButton5"));
    auto* list = window.findChild<QWidget*>(QStringLiteral("ListView3"));
    auto move = [](QWidget* widget) {
        QMouseEvent event(QEvent::MouseMove, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    };
    move(button);
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Hand);
    move(static_cast<QAbstractScrollArea*>(list)->viewport());
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Default);
    move(button);
    move(&window);
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Default);

    window.setCursorSetting(CursorSetting::Busy);
    move(button);
    EXPECT_EQ(window.cursorSetting(), CursorSetting::Busy);
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
}

} // namespace
} // namespace quellomir::testing
