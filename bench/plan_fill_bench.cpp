// Times what a user waits for after the rules are done: a plan of a million rows going
// into the result list and the first paint of the window, on the offscreen platform.
//
//   quellomir-gui-bench fill [ROWS]

#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "compare/plan.h"
#include "fs/posix_file_system.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int runPlanFill(int argc, char** argv) {
    const std::size_t rows = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1'000'000;

    QtDialogs dialogs;
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
    return window.plan().count() == int(rows) ? 0 : 1;
}
