#include "gui/tree_builder.h"
#include "gui/window_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

#include <sys/stat.h>

namespace quellomir::testing {
namespace {

class SyncRun : public WindowTest {
  protected:
    Form1& compared() {
        store("ListView1", one.slotText());
        store("ListView2", two.slotText());
        Form1& window = start();
        window.PushButton5_Click();
        return window;
    }
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static qint64 modified(const QString& path) { return QFileInfo(path).lastModified().toSecsSinceEpoch(); }
    static QStringList tildeFiles(const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("~*")}, QDir::Files | QDir::Hidden);
    }

    TreeBuilder one;
    TreeBuilder two;
};

// The setting is read at each run; absent, or in a store that cannot be read (reported at
// its own line), the replaced file is kept and the rows run.
TEST_F(SyncRun, TheReplacedFileGoesToTheTrashUnlessTheSettingTurnsThatOff) {
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files/");
    for (const char* setting : {"", "false", "damaged"}) {
        const QString name = QStringLiteral("kept-%1.txt").arg(setting);
        one.file(name, "newer", 1600000200);
        two.file(name, "older", 1600000000);
        const bool damaged = std::string_view(setting) == "damaged";
        if (*setting && !damaged) store(QStringLiteral("KeepReplacedFiles"), QString::fromLatin1(setting));
        Form1& window = compared();
        if (damaged) { // a folder where the file should be: unreadable, even as root
            QFile::remove(configPath() + QStringLiteral("/Venmarro.conf"));
            QDir().mkpath(configPath() + QStringLiteral("/Venmarro.conf"));
        }
        dialogs.messages.clear();
        window.PushButton6_Click();
        EXPECT_EQ(contents(two.path(name)), QByteArray("newer"));
        EXPECT_EQ(contents(trash + name),
                  QByteArray(std::string_view(setting) == "false" ? "<missing>" : "older"))
            << setting;
        ASSERT_EQ(dialogs.messages.size(), damaged ? 2u : 1u) << setting;
        EXPECT_EQ(damaged,
                  dialogs.messages[0].text.contains(QStringLiteral("PushButton6_Click at line 104\r")));
    }
}

TEST_F(SyncRun, CarriesOutCopyAndOverwriteRowsKeepsTimesAndEmptiesTheList) {
    one.file("Sub/report.txt", "report", 1600000000);
    one.file("notes.txt", "newer notes", 1600000200);
    two.file("deep/notes.txt", "old", 1600000000);
    // No turn of the window during the run: what the caption says at the end is its last word.
    yieldInterval = std::chrono::hours(1);
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 2);

    // The overwrite pairs files of different subfolders: the sync asks first, once, and a
    // cancel leaves everything as it was.
    window.PushButton6_Click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(
        dialogs.questions[0].startsWith(QStringLiteral("1 ticked row replaces a file of another subfolder")));
    EXPECT_EQ(dialogs.questionAnswers[0],
              (QStringList{"Sync them too", "Untick them and sync the rest", "Cancel"}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(window.plan().count(), 2);
    EXPECT_EQ(contents(two.path("deep/notes.txt")), QByteArray("old"));

    QStringList actionsWhenDone;
    QString captionWhenDone;
    dialogs.onMessage = [&] {
        for (int n = 1; n <= window.plan().count(); ++n)
            actionsWhenDone.append(window.plan().actionText(n));
        captionWhenDone = window.windowTitle();
    };
    dialogs.askAnswer = 0; // sync them too
    window.PushButton6_Click();

    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_EQ(actionsWhenDone, (QStringList{"Done", "Done"}));
    EXPECT_TRUE(captionWhenDone.endsWith(QStringLiteral("syncing: row 2 of 2, 17 bytes of 17 bytes")))
        << captionWhenDone.toStdString();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Done."));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Quellomir"));
    EXPECT_EQ(window.plan().count(), 0);

    EXPECT_EQ(contents(two.path("report.txt")), QByteArray("report"));
    EXPECT_EQ(modified(two.path("report.txt")), 1600000000);
    EXPECT_EQ(contents(two.path("deep/notes.txt")), QByteArray("newer notes"));
    EXPECT_EQ(modified(two.path("deep/notes.txt")), 1600000200);
    EXPECT_TRUE(tildeFiles(two.slotText()).isEmpty());
    EXPECT_TRUE(tildeFiles(two.path("deep")).isEmpty());

    window.PushButton5_Click(); // nothing is left to do
    EXPECT_EQ(window.plan().count(), 0);
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral(" \u2014 0 rows: the folders are in step")))
        << window.windowTitle().toStdString();
}

TEST_F(SyncRun, RowsAcrossSubfoldersUntickedAtTheQuestionAreLeftAlone) {
    one.file("Sub/report.txt", "report", 1600000000);
    one.file("notes.txt", "newer notes", 1600000200);
    two.file("deep/notes.txt", "old", 1600000000);
    Form1& window = compared();
    QStringList actionsWhenDone;
    dialogs.onMessage = [&] {
        for (int n = 1; n <= window.plan().count(); ++n)
            actionsWhenDone.append(window.plan().checked(n) ? window.plan().actionText(n)
                                                            : QStringLiteral("-"));
    };
    dialogs.askAnswer = 1; // untick them and sync the rest
    window.PushButton6_Click();
    EXPECT_EQ(actionsWhenDone, (QStringList{"Done", "-"}));
    EXPECT_EQ(contents(two.path("report.txt")), QByteArray("report"));
    EXPECT_EQ(contents(two.path("deep/notes.txt")), QByteArray("old"));
}

// A row unticked before its turn leaves nothing in the destination, also when its copy was
// made ahead of its turn, and also the last row, whose turn never comes before the end; nor
// does such a copy show under its name before its turn.
TEST_F(SyncRun, UntickedRowsAreLeftAlone) {
    for (int i = 0; i < 30; ++i)
        one.file(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 30);
    window.plan().setChecked(1, false);
    const QString untickedBefore = QFileInfo(window.plan().sourceText(1)).fileName();
    QStringList untickedDuring;
    QStringList shownBeforeTurn;
    bool unticking = false;
    QObject::connect(&window.plan(), &QAbstractItemModel::dataChanged, &window, [&] {
        if (std::exchange(unticking, true)) return;
        for (const int row : {8, 30}) {
            window.plan().setChecked(row, false);
            untickedDuring.append(QFileInfo(window.plan().sourceText(row)).fileName());
            if (QFileInfo::exists(two.path(untickedDuring.back())))
                shownBeforeTurn.append(untickedDuring.back());
        }
    });
    // The list follows the rows to the last one, in view when the end message opens.
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
    bool lastRowInView = false;
    dialogs.onMessage = [&] {
        const QRect last = list->visualRect(window.plan().index(29, 0));
        lastRowInView = !last.isEmpty() && list->viewport()->rect().contains(last.center());
    };
    window.PushButton6_Click();
    EXPECT_TRUE(lastRowInView);
    ASSERT_EQ(untickedDuring.size(), 2);
    EXPECT_TRUE(shownBeforeTurn.isEmpty()) << shownBeforeTurn.join(' ').toStdString();
    const QStringList copied = QDir(two.slotText()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(copied.size(), 27) << copied.join(' ').toStdString();
    for (const QString& name : untickedDuring)
        EXPECT_FALSE(copied.contains(name)) << name.toStdString();
    EXPECT_FALSE(copied.contains(untickedBefore));
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Done."));
}

TEST_F(SyncRun, ReadOnlyOlderFileIsReplaced) {
    one.file("locked.txt", "new", 1600000100);
    two.file("locked.txt", "old", 1600000000);
    ASSERT_EQ(::chmod(two.path("locked.txt").toLocal8Bit().constData(), 0444), 0);
    Form1& window = compared();
    window.PushButton6_Click();
    EXPECT_EQ(contents(two.path("locked.txt")), QByteArray("new"));
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Done."));
}

TEST_F(SyncRun, RowsThatCouldNotBeCarriedOutAreReportedNotDone) {
    // Records of this test's own, apart from the other tests' syncs.
    QTemporaryDir state;
    const QByteArray stateBefore = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    const std::unique_ptr<void, std::function<void(void*)>> restore(
        &state, [&](void*) { qputenv("XDG_STATE_HOME", stateBefore); });
    one.file("a.txt", "a");
    one.file("b.txt", "b");
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 2);
    // Between the comparison and the sync, Folder 2 disappears and a.txt is deleted.
    QDir(two.slotText()).removeRecursively();
    QFile::remove(one.path("a.txt"));

    QStringList actionsAtEnd;
    dialogs.onMessage = [&] {
        for (int n = 1; n <= window.plan().count(); ++n)
            actionsAtEnd.append(window.plan().actionText(n));
    };
    window.PushButton6_Click();
    dialogs.onMessage = nullptr; // the window it reads goes with the next comparison

    ASSERT_EQ(actionsAtEnd.size(), 2);
    for (const QString& action : actionsAtEnd)
        EXPECT_TRUE(action.startsWith(QStringLiteral("Failed: "))) << action.toStdString();
    const QString message = dialogs.messages.back().text;
    EXPECT_TRUE(message.startsWith(QStringLiteral("Done.\r\r2 ticked rows could not be copied:")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(one.path("a.txt") + QStringLiteral(" \u2014 ")));
    EXPECT_TRUE(message.contains(one.path("b.txt") + QStringLiteral(" \u2014 ")));
    EXPECT_FALSE(QDir(two.slotText()).exists()); // no folder is ever created
    EXPECT_EQ(window.plan().count(), 0);

    // The rows are not lost with the plan: the message names the record that keeps every
    // one, and only the newest 20 records stay.
    const QString logs = qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/quellomir/");
    const QString named = QStringLiteral("\rEvery row is in ");
    const QString newest = message.mid(message.lastIndexOf(named) + named.size());
    EXPECT_TRUE(message.contains(named) && newest.startsWith(logs + QStringLiteral("sync-")))
        << message.toStdString();
    const QString record = QString::fromUtf8(contents(newest));
    for (const char* name : {"a.txt", "b.txt"}) {
        const QRegularExpression line(QStringLiteral("\nFailed: [^\t\n]+\t") +
                                      QRegularExpression::escape(one.path(QString::fromLatin1(name))) +
                                      QStringLiteral("\twill be copied to\t") +
                                      QRegularExpression::escape(two.slotText()) + QStringLiteral("\n"));
        EXPECT_TRUE(record.contains(line)) << record.toStdString();
    }
    for (int i = 0; i < 25; ++i) {
        QFile old(logs + QStringLiteral("sync-2000-01-01-0000%1.log").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.setFileTime(QDateTime::fromSecsSinceEpoch(946684800 + i), QFileDevice::FileModificationTime);
    }
    QDir().mkpath(two.slotText());
    Form1& again = compared();
    again.PushButton6_Click();
    const QStringList kept = QDir(logs).entryList({QStringLiteral("sync-*.log")}, QDir::Files, QDir::Time);
    ASSERT_EQ(kept.size(), 20);
    EXPECT_TRUE(kept.first().startsWith(QStringLiteral("sync-20")) &&
                !kept.first().startsWith(QStringLiteral("sync-2000")));
    EXPECT_EQ(kept.last().toStdString(), "sync-2000-01-01-000007.log");
}

TEST_F(SyncRun, FileThatAppearedSinceTheComparisonIsNotOverwritten) {
    one.file("plan.txt", "from one");
    Form1& window = compared();
    two.file("plan.txt", "written meanwhile");
    window.PushButton6_Click();
    EXPECT_EQ(contents(two.path("plan.txt")), QByteArray("written meanwhile"));
    EXPECT_TRUE(dialogs.messages.back().text.contains(
        QStringLiteral("a file of that name appeared in the destination since the comparison")));
}

TEST_F(SyncRun, NamesakesFromTwoSubfoldersBothCopyTheLaterWins) {
    one.file("a/same.txt", "first");
    one.file("b/same.txt", "second");
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 2);
    const QString laterSource = window.plan().sourceText(2); // the order is the folders' listing order
    window.PushButton6_Click();
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Done."));
    EXPECT_EQ(contents(two.path("same.txt")), contents(laterSource));
}

TEST_F(SyncRun, EmptyListOnlySaysDone) {
    Form1& window = start();
    window.PushButton6_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Done."));
}

// A row gone from the list during the run: its failed read is reported and the row skipped,
// without the box meant for an unknown action.
TEST_F(SyncRun, ARowThatCannotBeReadIsReportedAndSkipped) {
    one.file("a.txt", "a");
    yieldInterval = std::chrono::milliseconds(0);
    Form1& window = compared();
    dialogs.messages.clear();
    QTimer::singleShot(0, &window, [&] { window.plan().clear(); });
    window.PushButton6_Click();
    ASSERT_EQ(dialogs.messages.size(), 3u); // the reports at 110 and 112, then "Done."
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("PushButton6_Click at line 112\r")));
    EXPECT_EQ(dialogs.messages[2].text, QStringLiteral("Done."));
}

// Closed half-way, the run still flushes what it copied and gives the copies their sources'
// times before the program ends: with provisional times left, the next comparison would plan
// them again, and on a drive that stamps renames they would win over their sources.
TEST_F(SyncRun, ClosingTheWindowDuringASyncFinishesTheCopiesMadeAndLeavesNoTemporaryFile) {
    // More rows than are ever in flight at once: those are finished, the rest not begun.
    for (int i = 0; i < 100; ++i)
        one.file(QStringLiteral("f%1.bin").arg(i), QByteArray(64 * 1024, char('a' + i % 26)));
    yieldInterval = std::chrono::milliseconds(0);
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 100);
    bool ended = false;
    QObject::connect(&window, &Form1::closedDuringRun, [&] { ended = true; });
    int marked = 0;
    QObject::connect(&window.plan(), &QAbstractItemModel::dataChanged, &window, [&] {
        if (++marked == 5) window.close();
    });
    window.PushButton6_Click();
    EXPECT_TRUE(ended);
    EXPECT_TRUE(tildeFiles(two.slotText()).isEmpty());
    const QStringList copied = QDir(two.slotText()).entryList(QDir::Files);
    EXPECT_GE(copied.size(), 5);
    EXPECT_LT(copied.size(), 100);
    for (const QString& name : copied) {
        EXPECT_EQ(QFileInfo(two.path(name)).size(), 64 * 1024) << name.toStdString();
        EXPECT_EQ(QFileInfo(two.path(name)).lastModified(), QFileInfo(one.path(name)).lastModified())
            << name.toStdString();
    }
}

// A drive that stops answering during a sync holds the row's own thread: the window still
// repaints and names the folder, and closing it ends the program instead of waiting forever.
TEST_F(SyncRun, ADriveThatStopsAnsweringDuringASyncLeavesTheWindowAnswering) {
    one.file(QStringLiteral("a.txt"));
    const std::string hangingFolder = two.slotText().toStdString();
    const Unanswered& drive = stopAnsweringUnder(hangingFolder, true);
    // The program ends with the record of the run written, on a drive that still answers.
    const QDir logs(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/quellomir/"));
    const auto records = [&] { return logs.entryList({QStringLiteral("sync-*.log")}, QDir::Files).size(); };
    const qsizetype recordsBefore = records();
    qsizetype recordsAtEnd = -1;
    endProgram = [&, end = endProgram] {
        recordsAtEnd = records();
        end();
    };
    Form1& window = compared();
    ASSERT_EQ(window.plan().count(), 1);
    closeOnceUnanswered(window);
    window.PushButton6_Click();
    EXPECT_EQ(recordsAtEnd, recordsBefore + 1);

    EXPECT_TRUE(captionWhileHanging.startsWith(QStringLiteral("Quellomir \u2014 syncing: row ")))
        << captionWhileHanging.toStdString();
    EXPECT_TRUE(captionWhileHanging.contains(QString::fromStdString(hangingFolder)))
        << captionWhileHanging.toStdString();
    EXPECT_TRUE(drive.endedWhileHanging);
    EXPECT_FALSE(window.runInProgress());
}

} // namespace
} // namespace quellomir::testing
