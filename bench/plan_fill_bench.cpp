// Times what a user waits for after the rules are done: a plan of a million rows going
// into the result list and the first paint of the window, on the offscreen platform; then
// each item of the plan's menu and each sort by a header click, with a repaint.
//
//   quellomir-gui-bench fill [ROWS]

#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "compare/plan.h"
#include "fs/posix_file_system.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

using namespace quellomir;

namespace {

FileList syntheticSide(const std::string& root, std::size_t files) {
    FileList list;
    for (int folder = 0; folder < 1000; ++folder)
        list.folders.push_back(root + "folder" + std::to_string(folder) + "/");
    list.reserve(files, files * 16);
    for (std::size_t i = 0; i < files; ++i)
        list.add("file-" + std::to_string(i) + ".dat", std::uint32_t(i % 1000), {1600000000, 0});
    return list;
}

// The menu answers what the bench asks it for, instantly.
class ChosenMenuItem final : public Dialogs {
  public:
    QString item;
    void showMessage(QWidget* owner, const QString& text, const QString& title, Icon icon) override {
        m_dialogs.showMessage(owner, text, title, icon);
    }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void openUrl(const QString&) override {}
    QString chooseFromMenu(QWidget*, const QPoint&, const QStringList&, const QStringList&,
                           const QStringList&) override {
        return item;
    }
    int ask(QWidget* owner, const QString& text, const QString& title, const QStringList& answers) override {
        return m_dialogs.ask(owner, text, title, answers);
    }

  private:
    QtDialogs m_dialogs;
};

template <class Step> double secondsOf(Form1& window, Step step) {
    QElapsedTimer timer;
    timer.start();
    step();
    QCoreApplication::processEvents();
    window.repaint();
    return double(timer.nsecsElapsed()) / 1e9;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int runPlanFill(int argc, char** argv) {
    const std::size_t rows = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1'000'000;

    ChosenMenuItem dialogs;
    SettingsStore settings;
    PosixFileSystem fs;
    const CodePage codePage;
    Form1 window({dialogs, settings, fs, codePage, QStringLiteral("/nonexistent"), [] { return 1; }});
    window.Form_Load();
    window.show();
    QCoreApplication::processEvents();

    FileList two;
    two.folders = {"/data/two/"};
    Plan plan(syntheticSide("/data/one/", rows), std::move(two), "/data/one/", "/data/two/");
    std::vector<std::uint32_t> all(rows);
    for (std::size_t i = 0; i < rows; ++i)
        all[i] = std::uint32_t(i);
    plan.appendCopyRows(Side::Folder1, all);
    plan.setAllChecked(true);
    // Every other name repeated, so that the rows painted carry their marks.
    std::vector<bool> repeated(rows);
    for (std::size_t i = 0; i < rows; i += 2)
        repeated[i] = true;
    plan.setRepeatedNames(Side::Folder1, std::move(repeated));
    const long before = peakKilobytes();

    QElapsedTimer timer;
    timer.start();
    window.plan().setPlan(std::move(plan));
    QCoreApplication::processEvents();
    window.repaint();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    std::printf("rows %zu\nfill+paint seconds %.3f\npeak memory while filling %+ld KB\n", rows, seconds,
                peakKilobytes() - before);

    auto* list = window.findChild<QTreeView*>(QStringLiteral("ListView3"));
    for (const char* item : {"Untick rows marked \u26a0", "Untick rows across subfolders",
                             "Tick the selected rows", "Untick the selected rows"}) {
        dialogs.item = QString::fromUtf8(item);
        if (dialogs.item.endsWith(QStringLiteral("selected rows"))) list->selectAll();
        std::printf("menu \"%s\" seconds %.3f\n", item, secondsOf(window, [&] {
                        window.ListView3_ContextMenu({10, 10});
                    }));
    }
    for (int column = 0; column < 3; ++column)
        for (const char* order : {"ascending", "descending", "plan order"})
            std::printf("header click %d (%s) seconds %.3f\n", column, order,
                        secondsOf(window, [&] { window.ListView3_ColumnClick(column); }));
    return window.plan().count() == int(rows) ? 0 : 1;
}
