#include "gui/tree_builder.h"
#include "gui/window_fixture.h"

#include "app/plan_path_delegate.h"
#include "support/temp_folder.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace quellomir::testing {
namespace {

class CompareRun : public WindowTest {
  protected:
    Form1& startWith(const QString& folder1Text, const QString& folder2Text) {
        store("ListView1", folder1Text);
        store("ListView2", folder2Text);
        return start();
    }

    // Each row as "source | action | destination | ticked".
    static QStringList rows(Form1& window) {
        QStringList result;
        for (int n = 1; n <= window.plan().count(); ++n)
            result.append(window.plan().sourceText(n) + " |" + window.plan().actionText(n) + " | " +
                          window.plan().destinationText(n) +
                          (window.plan().checked(n) ? " | ticked" : " | unticked"));
        return result;
    }

    TreeBuilder one;
    TreeBuilder two;
};

TEST_F(CompareRun, WithoutTwoFoldersShowsTheGuardMessageAndLeavesTheListEmpty) {
    Form1& window = startWith(one.slotText(), QString());
    window.PushButton5_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Please select two folders to compare."));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Quellomir"));
    EXPECT_EQ(dialogs.messages[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(window.plan().count(), 0);
}

TEST_F(CompareRun, PlansCopiesIntoTheOtherTopFolderInListingOrder) {
    one.file("a.txt");
    one.file("Sub/b.txt");
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();
    EXPECT_EQ(
        rows(window),
        (QStringList{one.path("a.txt") + " | will be copied to | " + two.slotText() + " | ticked",
                     one.path("Sub/b.txt") + " | will be copied to | " + two.slotText() + " | ticked"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CompareRun, OrdersCopyRowsOfFolder1ThenFolder2ThenOverwrites) {
    one.file("only1.txt");
    one.file("shared.txt", "new", 1600000100);
    two.file("shared.txt", "old", 1600000000);
    two.file("only2.txt");
    two.file("same.txt", "x", 1600000000);
    one.file("deep/er/same.txt", "x", 1600000000);
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();
    EXPECT_EQ(rows(window),
              (QStringList{one.path("only1.txt") + " | will be copied to | " + two.slotText() + " | ticked",
                           two.path("only2.txt") + " | will be copied to | " + one.slotText() + " | ticked",
                           one.path("shared.txt") + " | will overwrite an older | " + two.path("shared.txt") +
                               " | ticked"}));
}

TEST_F(CompareRun, TildeFilesTakeNoPart) {
    one.file("~$report.docx");
    two.file("~lock");
    one.file("~lock", "x", 1600009999);
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();
    EXPECT_EQ(window.plan().count(), 0);
}

TEST_F(CompareRun, SameFolderOnBothSidesListsEachOlderNamesakeTwice) {
    one.file("a/x.txt", "new", 1600000100);
    one.file("b/x.txt", "old", 1600000000);
    one.file("alone.txt");
    Form1& window = startWith(one.slotText(), one.slotText());
    window.PushButton5_Click();
    const QString row =
        one.path("a/x.txt") + " | will overwrite an older | " + one.path("b/x.txt") + " | ticked";
    EXPECT_EQ(rows(window), (QStringList{row, row}));
}

TEST_F(CompareRun, AFolderThatCannotBeReadIsNamedAndNoPlanIsMade) {
    two.file("a-file");
    const QString gone = one.path("gone/"), file = two.path("a-file/");
    Form1& window = startWith(gone, file);
    window.PushButton5_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Folder 1 cannot be read: " + gone +
                                            " \u2014 No such file or directory\rFolder 2 cannot be read: " +
                                            file + " \u2014 Not a directory");
    EXPECT_EQ(window.plan().count(), 0);
}

TEST_F(CompareRun, AStoredFolderThatIsNotAFullPathIsShownButCannotBeRead) {
    one.file("t1/A/x.txt");
    const QString started = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(one.path(QString()))); // where t1/A/ would be found
    Form1& window = startWith(QStringLiteral("t1/A"), two.slotText());
    EXPECT_EQ(window.folder1().text(1), QStringLiteral("t1/A/"));
    window.PushButton5_Click();
    QDir::setCurrent(started);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("Folder 1 cannot be read: t1/A/ \u2014 Not a full path"));
}

TEST_F(CompareRun, WhatCouldNotBeReadIsNamedInOneMessageAndThePlanIsShown) {
    TempFolder tmp;
    tmp.file("a.txt");
    tmp.beyondPathMax("deep", 12);
    Form1& window = startWith(QString::fromStdString(tmp.path()), two.slotText());
    window.PushButton5_Click();
    EXPECT_EQ(window.plan().count(), 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const QStringList lines = dialogs.messages[0].text.split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 12);
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("/ \u2014 File name too long"))) << lines[1].toStdString();
    EXPECT_EQ(lines[11], QStringLiteral("\u2026 and 2 more"));
}

TEST_F(CompareRun, AnyChangeOfASlotTakesThePlanAway) {
    one.file("a.txt");
    auto select = [](Form1& window, const char* list) {
        auto* view = window.findChild<QTreeView*>(QString::fromLatin1(list));
        view->setCurrentIndex(view->model()->index(0, 0));
        return view;
    };
    QKeyEvent deleteKey(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    dialogs.folderAnswers = {two.slotText()}; // for the first choice; the second is cancelled
    const std::pair<const char*, std::function<void(Form1&)>> changes[] = {
        {"chosen again", &Form1::PushButton1_Click},
        {"choice cancelled", &Form1::PushButton3_Click},
        {"cleared", &Form1::PushButton4_Click},
        {"sample folders", &Form1::PushButton9_Click},
        {"double-click", [&](Form1& w) { select(w, "ListView1"), w.ListView1_DblClick(); }},
        {"Delete key", [&](Form1& w) { QApplication::sendEvent(select(w, "ListView2"), &deleteKey); }}};
    for (const auto& [way, change] : changes) {
        SCOPED_TRACE(way);
        Form1& window = startWith(one.slotText(), two.slotText());
        window.PushButton5_Click();
        ASSERT_EQ(window.plan().count(), 1);
        change(window);
        EXPECT_EQ(window.plan().count(), 0);
    }
}

TEST_F(CompareRun, PathsAreCutBeforeTheirLastPartAndARowsTooltipShowsItWhole) {
    const QString deep = QStringLiteral("a rather long folder name/and another one below it/report.txt");
    one.file(deep);
    Form1& window = startWith(one.slotText(), two.slotText());
    window.show();
    window.PushButton5_Click();
    auto* plan = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
    auto* slot = window.findChild<QTreeView*>(QStringLiteral("ListView1"));
    const QFontMetrics metrics(plan->font());
    for (int width : {40, 150, 5000}) { // the name does not fit, fits, all fits
        const QString shown = elidePath(one.path(deep), metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(shown), width) << shown.toStdString();
        EXPECT_EQ(shown.endsWith(QStringLiteral("/report.txt")), width > 40) << shown.toStdString();
    }

    auto toolTipAt = [](QTreeView* list, const QModelIndex& index) {
        const QPoint at = list->visualRect(index).center();
        QHelpEvent event(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        return QToolTip::text();
    };
    const QString rowStart =
        one.path(deep) + "\nwill be copied to\n" + two.slotText() + "\n\nFolder 1: " + deep;
    for (int column = 0; column < 3; ++column) {
        const QString tip = toolTipAt(plan, window.plan().index(0, column));
        EXPECT_TRUE(tip.startsWith(rowStart) && tip.endsWith(slot->toolTip())) << column << tip.toStdString();
    }
    EXPECT_EQ(toolTipAt(slot, window.folder1().index(0, 0)), one.slotText() + "\n\n" + slot->toolTip());
}

TEST_F(CompareRun, TwoRunsGiveTheSameRows) {
    one.file("a.txt");
    one.file("s/b.txt");
    two.file("c.txt");
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();
    const QStringList first = rows(window);
    window.PushButton5_Click();
    EXPECT_EQ(rows(window), first);
    EXPECT_EQ(first.size(), 3);
}

TEST_F(CompareRun, CheckAllAndUncheckAllTickAndUntickEveryRow) {
    one.file("a.txt");
    one.file("b.txt");
    one.file("c.txt");
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();
    const QStringList planned = rows(window);
    window.PushButton8_Click();
    for (int n = 1; n <= 3; ++n)
        EXPECT_FALSE(window.plan().checked(n));
    window.PushButton7_Click();
    EXPECT_EQ(rows(window), planned);
}

// An unticked row's box stands out from the list in a light and in a dark theme alike: in a
// dark one the style's own outline is nearly the colour of the list.
TEST_F(CompareRun, AnUntickedBoxIsVisibleInALightAndADarkTheme) {
    one.file("a.txt");
    one.file("b.txt");
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    for (QPalette::ColorRole role :
         {QPalette::Window, QPalette::Base, QPalette::AlternateBase, QPalette::Button})
        dark.setColor(role, QColor(0x20, 0x22, 0x26));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    for (const bool isDark : {false, true}) {
        const char* theme = isDark ? "dark" : "light";
        QApplication::setPalette(isDark ? dark : light);
        Form1& window = startWith(one.slotText(), two.slotText());
        window.PushButton5_Click();
        window.plan().setChecked(2, false);
        auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
        window.show();
        const QImage shot = list->viewport()->grab().toImage();
        if (!qEnvironmentVariableIsEmpty("QUELLOMIR_SHOTS")) // to look at: the whole window
            window.grab().save(qEnvironmentVariable("QUELLOMIR_SHOTS") + "/" + theme + ".png");
        // The box lies before the row's text: count what stands out from the list's colour there.
        const QRect row = list->visualRect(window.plan().index(1, 0));
        const int base = qGray(list->palette().color(QPalette::Base).rgb());
        int standingOut = 0;
        for (int y = row.top(); y <= row.bottom(); ++y)
            for (int x = row.left(); x < row.left() + row.height(); ++x)
                standingOut += std::abs(qGray(shot.pixel(x, y)) - base) > 80;
        EXPECT_GE(standingOut, row.height()) << theme;
    }
    QApplication::setPalette(light);
}

TEST_F(CompareRun, CheckAllOnAnEmptyListDoesNothing) {
    Form1& window = start();
    window.PushButton7_Click();
    window.PushButton8_Click();
    EXPECT_EQ(window.plan().count(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CompareRun, ASecondClickDuringARunIsIgnoredAndTheWindowShowsProgress) {
    for (int i = 0; i < 30; ++i)
        one.file(QStringLiteral("f%1/file%1.txt").arg(i));
    yieldInterval = std::chrono::milliseconds(0);
    Form1& window = startWith(one.slotText(), two.slotText());
    auto* compare = window.findChild<QPushButton*>(QStringLiteral("PushButton5"));
    auto* clear = window.findChild<QPushButton*>(QStringLiteral("PushButton2"));
    auto* help = window.findChild<QPushButton*>(QStringLiteral("PushButton13"));

    bool sawRun = false, compareEnabled = true, clearEnabled = true, helpEnabled = false;
    QString captionDuringRun;
    QTimer::singleShot(0, &window, [&] {
        sawRun = window.runInProgress();
        compareEnabled = compare->isEnabled();
        clearEnabled = clear->isEnabled();
        helpEnabled = help->isEnabled();
        captionDuringRun = window.windowTitle();
        window.PushButton5_Click(); // a second run must not start inside the first
        window.PushButton2_Click(); // nor may the slots change under it
    });
    window.PushButton5_Click();

    EXPECT_TRUE(sawRun);
    EXPECT_FALSE(compareEnabled);
    EXPECT_FALSE(clearEnabled);
    EXPECT_TRUE(helpEnabled);
    EXPECT_TRUE(captionDuringRun.startsWith(QStringLiteral("Quellomir \u2014 comparing: ")))
        << captionDuringRun.toStdString();
    EXPECT_EQ(window.plan().count(), 30);
    EXPECT_EQ(window.folder1().count(), 1);
    // The progress gives way to what the plan holds.
    EXPECT_TRUE(window.windowTitle().startsWith(
        QStringLiteral("Quellomir \u2014 30 rows: 30 copies, 0 overwrites, ")))
        << window.windowTitle().toStdString();
    EXPECT_TRUE(compare->isEnabled());
}

TEST_F(CompareRun, ClosingTheWindowDuringARunEndsTheRun) {
    for (int i = 0; i < 30; ++i)
        one.file(QStringLiteral("f%1/file%1.txt").arg(i));
    yieldInterval = std::chrono::milliseconds(0);
    Form1& window = startWith(one.slotText(), two.slotText());
    bool ended = false;
    QObject::connect(&window, &Form1::closedDuringRun, [&] { ended = true; });
    QTimer::singleShot(0, &window, [&] { window.close(); });
    window.PushButton5_Click();
    EXPECT_TRUE(ended);
    EXPECT_EQ(window.plan().count(), 0);
    EXPECT_FALSE(window.runInProgress());
}

// A camera library and its backup: numbers repeat across albums. Every row that pairs files
// by name alone carries a mark and says why; the caption sums the plan up.
TEST_F(CompareRun, RowsPairingByNameAloneAreMarkedAndTheCaptionSumsThePlanUp) {
    constexpr qint64 Day = 24 * 3600, Then = 1600000000;
    one.file(QStringLiteral("2021/Москва/IMG_0039.JPG"), QByteArray(2400000, 'j'), Then + 2 * Day);
    two.file(QStringLiteral("2019/Christmas/IMG_0039.JPG"), "old", Then);
    one.file(QStringLiteral("album/notes.txt"), "n", Then + 5);
    two.file(QStringLiteral("album/notes.txt"), "n", Then);
    one.file(QStringLiteral("a/Thumbs.db"));
    one.file(QStringLiteral("b/Thumbs.db"));
    two.file(QStringLiteral("x/DSC_1.JPG"));
    two.file(QStringLiteral("y/DSC_1.JPG"));
    one.file(QStringLiteral("c/photo.jpg"), "p", Then + 9);
    one.file(QStringLiteral("d/photo.jpg"), "p", Then + 9);
    two.file(QStringLiteral("c/photo.jpg"), "p", Then);
    one.file(QStringLiteral("e/pic.png"), "p", Then + 9);
    two.file(QStringLiteral("e/pic.png"), "p", Then);
    two.file(QStringLiteral("f/pic.png"), "p", Then);
    one.file(QStringLiteral("solo.txt"));
    Form1& window = startWith(one.slotText(), two.slotText());
    window.PushButton5_Click();

    PlanModel& plan = window.plan();
    ASSERT_EQ(plan.count(), 11);
    for (int n = 1; n <= plan.count(); ++n) {
        const QString source = plan.sourceText(n);
        const bool byNameAlone =
            !source.endsWith(QStringLiteral("notes.txt")) && !source.endsWith(QStringLiteral("solo.txt"));
        EXPECT_EQ(!plan.data(plan.index(n - 1, 2), Qt::DecorationRole).isNull(), byNameAlone)
            << source.toStdString();
        EXPECT_EQ(plan.data(plan.index(n - 1, 1), Qt::DisplayRole).toString().contains(QChar(0x26a0)), false);
        const QString tip = plan.data(plan.index(n - 1, 0), Qt::ToolTipRole).toString();
        EXPECT_EQ(tip.contains(QStringLiteral("occurs more than once")),
                  byNameAlone && !source.contains(QStringLiteral("IMG_")))
            << tip.toStdString();
        if (!source.contains(QStringLiteral("IMG_"))) continue;
        EXPECT_TRUE(tip.contains(QStringLiteral("Folder 2: 2019/Christmas/IMG_0039.JPG\n    3 bytes, ")))
            << tip.toStdString();
        EXPECT_TRUE(tip.contains(QStringLiteral("\nnewer by 2 days\n"))) << tip.toStdString();
        EXPECT_TRUE(tip.contains(QStringLiteral(
            "paired by name only: 2021/Москва/IMG_0039.JPG will replace 2019/Christmas/IMG_0039.JPG")))
            << tip.toStdString();
    }
    EXPECT_EQ(window.windowTitle(),
              QStringLiteral("Quellomir — 11 rows: 5 copies, 6 overwrites (3 across subfolders; pair by "
                             "place from the plan's menu), 2.4 MB"));

    // The marked rows are unticked in one go; Space ticks every selected row (Ctrl+A) at once.
    dialogs.menuAnswer = QStringLiteral("Untick rows marked \u26a0");
    window.ListView3_ContextMenu(QPoint(10, 10));
    for (int n = 1; n <= plan.count(); ++n)
        EXPECT_EQ(plan.checked(n), plan.data(plan.index(n - 1, 2), Qt::DecorationRole).isNull()) << n;
    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
    int unticked = 1;
    while (plan.checked(unticked))
        ++unticked;
    list->setCurrentIndex(plan.index(unticked - 1, 0)); // whose tick every selected row takes
    list->selectAll();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QApplication::sendEvent(list, &space);
    for (int n = 1; n <= plan.count(); ++n)
        EXPECT_TRUE(plan.checked(n)) << n;

    // A header click sorts the rows shown, folder by folder, letter case aside; again
    // reverses; a third time shows the plan's order. The handlers count in the plan's order.
    const auto clickHeader = [&](int column) {
        QHeaderView* header = list->header();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent click(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(header->viewport(), &click);
        }
    };
    const auto shownSources = [&](const TreeBuilder& side) {
        QStringList shown;
        for (int row = 0; row < plan.count(); ++row) {
            const QString source = plan.data(plan.index(row, 0), Qt::DisplayRole).toString();
            if (source.startsWith(side.slotText())) shown.append(source.mid(side.slotText().size()));
        }
        return shown;
    };
    const QStringList planOrder = shownSources(one);
    clickHeader(0);
    const QStringList ascending = {QStringLiteral("solo.txt"),    QStringLiteral("2021/Москва/IMG_0039.JPG"),
                                   QStringLiteral("a/Thumbs.db"), QStringLiteral("album/notes.txt"),
                                   QStringLiteral("b/Thumbs.db"), QStringLiteral("c/photo.jpg"),
                                   QStringLiteral("d/photo.jpg"), QStringLiteral("e/pic.png"),
                                   QStringLiteral("e/pic.png")};
    EXPECT_EQ(shownSources(one), ascending);
    EXPECT_EQ(shownSources(two), (QStringList{QStringLiteral("x/DSC_1.JPG"), QStringLiteral("y/DSC_1.JPG")}));
    EXPECT_EQ(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    list->clearSelection();
    list->setCurrentIndex(plan.index(0, 0)); // solo.txt, or a Folder 2 copy
    const int current = plan.rowAt(list->currentIndex());
    QApplication::sendEvent(list, &space);
    EXPECT_FALSE(plan.checked(current));
    EXPECT_TRUE(plan.sourceText(current) == plan.data(plan.index(0, 0), Qt::DisplayRole).toString());
    clickHeader(0);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(shownSources(one), descending);
    EXPECT_EQ(list->currentIndex(), plan.indexOfRow(current)); // the current row went with its row
    clickHeader(0);
    EXPECT_EQ(shownSources(one), planOrder);
    EXPECT_FALSE(list->header()->isSortIndicatorShown());
    plan.setChecked(current, true);

    // Pairing by place, from the plan's menu: the choice is stored and the plan goes, as with
    // a change of a slot; the next plan pairs only files at the same place, marks none, and
    // copies into the same subfolder.
    dialogs.menuAnswer = QStringLiteral("Pair files by their place in the folders");
    window.ListView3_ContextMenu(QPoint(10, 10));
    EXPECT_EQ(stored(QStringLiteral("PairBy")), QStringLiteral("path"));
    EXPECT_EQ(plan.count(), 0);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quellomir"));
    window.PushButton5_Click();
    QStringList destinations;
    for (int n = 1; n <= plan.count(); ++n) {
        EXPECT_TRUE(plan.data(plan.index(n - 1, 2), Qt::DecorationRole).isNull()) << n;
        destinations.append(plan.destinationText(n).mid(two.slotText().size()));
    }
    EXPECT_TRUE(destinations.contains(QStringLiteral("2021/Москва/")))
        << destinations.join(' ').toStdString();
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral(", paired by place")))
        << window.windowTitle().toStdString();
    window.ListView3_ContextMenu(QPoint(10, 10)); // shown ticked, and chosen again: by name
    EXPECT_EQ(dialogs.menusChecked.back(), QStringList{dialogs.menuAnswer});
    EXPECT_EQ(stored(QStringLiteral("PairBy")), QStringLiteral("name"));

    // Leaving out the selected row's file name: stored, and the plan made again without it.
    window.PushButton5_Click();
    ASSERT_GT(plan.count(), 0);
    list->setCurrentIndex(plan.indexOfRow(1));
    list->selectionModel()->select(plan.indexOfRow(1),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const QString name = plan.sourceText(1).section(QLatin1Char('/'), -1);
    dialogs.menuAnswer = QStringLiteral("Leave out files named \u2026");
    window.ListView3_ContextMenu(QPoint(10, 10));
    EXPECT_EQ(stored(QStringLiteral("Exclude")), name);
    for (int n = 1; n <= plan.count(); ++n)
        EXPECT_NE(plan.sourceText(n).section(QLatin1Char('/'), -1), name) << n;
    EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("left out")))
        << window.windowTitle().toStdString();

    window.PushButton2_Click(); // a slot changes: the plan and its summary go
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quellomir"));
}

// The compare runs on a thread of its own: a failure it reports is shown on the window's
// thread, as every box must be, and the run waits until the box is closed.
TEST_F(CompareRun, AFailureReportedFromTheComparesThreadIsShownOnTheWindowsThread) {
    Form1& window = start();
    DialogErrorReport report(dialogs, &window);
    QThread* shownOn = nullptr;
    dialogs.onMessage = [&] { shownOn = QThread::currentThread(); };
    std::atomic<bool> reported{false};
    std::thread run([&] {
        report.report("Input/output error", "in Quellomir2021/08/31.Form1.PushButton5_Click ", 118);
        reported = true;
    });
    while (!reported)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    run.join();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(shownOn, window.thread());
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Input/output error\r\n")))
        << dialogs.messages[0].text.toStdString();
}

// A folder on a drive that never answers holds the compare in the kernel: the window still
// repaints, names that folder, and closing it ends the program instead of waiting forever.
TEST_F(CompareRun, ADriveThatNeverAnswersIsNamedAndClosingTheWindowEndsTheProgram) {
    one.file(QStringLiteral("a/x.txt"));
    two.file(QStringLiteral("hangs/y.txt"));
    const std::string hangingFolder = two.path(QStringLiteral("hangs")).toStdString();
    const Unanswered& drive = stopAnsweringUnder(hangingFolder);
    Form1& window = startWith(one.slotText(), two.slotText());
    closeOnceUnanswered(window);
    window.PushButton5_Click();

    EXPECT_TRUE(captionWhileHanging.startsWith(QStringLiteral("Quellomir \u2014 comparing: ")))
        << captionWhileHanging.toStdString();
    EXPECT_TRUE(captionWhileHanging.contains(QString::fromStdString(hangingFolder)))
        << captionWhileHanging.toStdString();
    EXPECT_TRUE(drive.endedWhileHanging);
    EXPECT_EQ(window.plan().count(), 0);
    EXPECT_FALSE(window.runInProgress());
}

} // namespace
} // namespace quellomir::testing
