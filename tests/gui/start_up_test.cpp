#include "gui/window_fixture.h"
#include "support/fifo_watchdog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTreeView>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <optional>
#include <string_view>

namespace quellomir::testing {
namespace {

using StartUp = WindowTest;

TEST_F(StartUp, FirstStartShowsBothSlotsEmpty) {
    Form1& window = start();
    EXPECT_EQ(window.folder1().count(), 0);
    EXPECT_EQ(window.folder2().count(), 0);
    EXPECT_EQ(window.plan().rowCount(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StartUp, RestoresBothStoredFoldersWithTheirTrailingSeparator) {
    store("ListView1", "/data/photos/");
    store("ListView2", "/media/stick/photos"); // as a hand-edited file may hold it
    Form1& window = start();
    ASSERT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("/data/photos/"));
    ASSERT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.folder2().text(1), QStringLiteral("/media/stick/photos/"));
}

TEST_F(StartUp, EmptyStoredFolder1FillsOnlyFolder2) {
    store("ListView1", "");
    store("ListView2", "/media/stick/");
    Form1& window = start();
    EXPECT_EQ(window.folder1().count(), 0);
    ASSERT_EQ(window.folder2().count(), 1);
    EXPECT_EQ(window.folder2().text(1), QStringLiteral("/media/stick/"));
}

TEST_F(StartUp, EmptyStoredFolder2LeavesItsSlotEmpty) {
    store("ListView1", "/data/");
    store("ListView2", "");
    Form1& window = start();
    EXPECT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(window.folder2().count(), 0);
}

TEST_F(StartUp, FolderThatNoLongerExistsIsShownAllTheSame) {
    store("ListView1", "/no/such/folder/");
    Form1& window = start();
    ASSERT_EQ(window.folder1().count(), 1);
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("/no/such/folder/"));
}

TEST_F(StartUp, ChosenFoldersComeBackAtTheNextStart) {
    {
        Form1& window = start();
        dialogs.folderAnswers = {QStringLiteral("/home/ann/Documents"), QStringLiteral("/media/ann/BACKUP")};
        window.PushButton3_Click();
        window.PushButton1_Click();
    }
    Form1& again = start();
    ASSERT_EQ(again.folder1().count(), 1);
    EXPECT_EQ(again.folder1().text(1), QStringLiteral("/home/ann/Documents/"));
    ASSERT_EQ(again.folder2().count(), 1);
    EXPECT_EQ(again.folder2().text(1), QStringLiteral("/media/ann/BACKUP/"));
}

// A damaged file, and anything but a regular file where the file should be, is reported at
// both reads and the start goes on: a FIFO is never opened to wait for a writer, and a link
// to a device (root's danger) is neither read nor written through.
TEST_F(StartUp, ASettingsFileThatCannotBeReadIsReportedAtBothReadsAndTheStartGoesOn) {
    const QString file = configPath() + QStringLiteral("/Venmarro.conf");
    const QByteArray path = QFile::encodeName(file);
    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("[Quellomir\n\x01\x02\xff=\n=[[[\n\0\0binary", 30));
    damaged.close();
    for (const char* reason : {"not in the settings format", "is a directory", "is a FIFO"}) {
        dialogs.messages.clear();
        std::optional<FifoWatchdog> watchdog;
        if (std::string_view(reason) == "is a FIFO") watchdog.emplace(path.toStdString());
        Form1& window = start();
        EXPECT_FALSE(watchdog && watchdog->fired());
        ASSERT_EQ(dialogs.messages.size(), 2u) << reason;
        for (int read : {0, 1}) {
            const QString& text = dialogs.messages[read].text;
            EXPECT_TRUE(text.contains(file) && text.contains(QLatin1String(reason), Qt::CaseInsensitive))
                << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("Form_Load at line %1\r").arg(read ? 154 : 148)));
        }
        EXPECT_EQ(window.plan().columnCount(), 3); // the start went on
        QFile::remove(file);
        if (std::string_view(reason) == "not in the settings format") {
            QDir().mkpath(file); // a folder where the file should be: unreadable, even as root
        } else if (QDir().rmdir(file)) {
            ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
        }
    }
    if (::geteuid() != 0) return; // only root makes device nodes
    const QByteArray node = QFile::encodeName(configPath() + QStringLiteral("/node"));
    ASSERT_EQ(::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) | ::symlink(node, path), 0);
    dialogs.folderAnswers = {QStringLiteral("/data/new")};
    start().PushButton3_Click();
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral(": it is a device")));
    struct stat facts; // the link still leads to the node
    EXPECT_TRUE(::stat(path.constData(), &facts) == 0 && S_ISCHR(facts.st_mode));
}

TEST_F(StartUp, HomePageOpensOnlyWhenTheDrawIsSeven) {
    draw = 7;
    start();
    EXPECT_EQ(dialogs.openedUrls, QStringList{QStringLiteral("https://venmarro.example/")});
    dialogs.openedUrls.clear();
    for (int other : {1, 6, 8, 100}) {
        draw = other;
        start();
    }
    EXPECT_TRUE(dialogs.openedUrls.isEmpty());
}

// White in a light theme; in a dark one, and after a switch to it, no white is left.
TEST_F(StartUp, WithoutSkinFileTheWindowTakesTheColourOfTheDesktopsLists) {
    const QPalette light = QApplication::palette();
    Form1& window = start();
    EXPECT_EQ(window.palette().color(window.backgroundRole()), QColor(Qt::white));
    EXPECT_TRUE(window.styleSheet().isEmpty());

    QPalette dark = light;
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, QColor(0x20, 0x22, 0x26));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    QCoreApplication::sendPostedEvents();
    auto expectNoWhite = [](Form1& shown) {
        EXPECT_EQ(shown.palette().color(shown.backgroundRole()), QColor(0x20, 0x22, 0x26));
        for (QWidget* list : shown.findChildren<QTreeView*>())
            EXPECT_EQ(list->palette().color(QPalette::Base), QColor(0x20, 0x22, 0x26))
                << list->objectName().toStdString();
    };
    {
        SCOPED_TRACE("open");
        expectNoWhite(window); // switched to while it was open
    }
    expectNoWhite(start());
    QApplication::setPalette(light);
}

TEST_F(StartUp, SkinFileTurnsTheWindowButtonFaceAndIsApplied) {
    ASSERT_TRUE(QDir(programFolder).mkpath(QStringLiteral("x")));
    QFile skin(programFolder + QStringLiteral("/x/o.cjs"));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { color: navy; }");
    skin.close();
    Form1& window = start();
    EXPECT_EQ(window.palette().color(window.backgroundRole()),
              QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(window.styleSheet(), QStringLiteral("QPushButton { color: navy; }"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StartUp, SkinThatCannotBeReadIsReportedAtLine100AndStartGoesOn) {
    // A folder where the skin file should be: it exists, but cannot be read as a file.
    ASSERT_TRUE(QDir(programFolder).mkpath(QStringLiteral("x/o.cjs")));
    store("ListView1", "/data/");
    Form1& window = start();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(
        QStringLiteral("\r\nin Quellomir2021/08/31.Form1.Form_Load at line 100\r\r")));
    EXPECT_EQ(window.folder1().count(), 1);
}

TEST_F(StartUp, UnreadableHandCursorFallsBackToAPointingHand) {
    QFile cursor(programFolder + QStringLiteral("/HAND-M.CUR"));
    ASSERT_TRUE(cursor.open(QIODevice::WriteOnly));
    cursor.write("not a cursor");
    cursor.close();
    Form1& window = start();
    window.setCursorSetting(CursorSetting::Hand);
    EXPECT_EQ(window.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace quellomir::testing

namespace quellomir::testing {
namespace {

TEST_F(StartUp, SettingsFileThatCannotBeParsedStillTakesTheNextChoice) {
    QFile file(configPath() + QStringLiteral("/Venmarro.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[Quellomir\n\x01\x02\xff=\n=[[[\n\0\0binary", 30));
    file.close();
    Form1& window = start();
    dialogs.messages.clear(); // the reports of the two reads
    dialogs.folderAnswers = {QStringLiteral("/data/new")};
    window.PushButton3_Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(start().folder1().text(1), QStringLiteral("/data/new/"));
}

} // namespace
} // namespace quellomir::testing
