#include "app/form1.h"
#include "app/home_page_draw.h"
#include "app/qt_dialogs.h"
#include "app/settings_store.h"
#include "cli/command_line.h"
#include "cli/command_line_run.h"
#include "cli/unanswered_drives.h"
#include "files/code_page.h"
#include "fs/posix_file_system.h"
#include "fs/watched_file_system.h"
#include "handler/stop_signals.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<bool> stopRequested{false};

int runWithoutWindow(const quellomir::CommandLine& line) {
    quellomir::stopGentlyOnSignals(stopRequested);
    quellomir::PosixFileSystem posix;
    quellomir::WatchedFileSystem fs(posix);
    const quellomir::CodePage codePage = quellomir::CodePage::forUserLocale();
    quellomir::Terminal terminal;
    terminal.progress = ::isatty(STDERR_FILENO) == 1;
    terminal.interrupted = &stopRequested;
    return quellomir::runWatchingForUnansweredDrives(
        [&] { return quellomir::runCommandLine(line, fs, codePage, terminal); }, stopRequested);
}

// Where nothing says which display to use, Qt would end with an abort about its platform
// plugin; one plain line says what is wrong instead.
bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(name); value && *value) return true;
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    const quellomir::CommandLine line = quellomir::parseCommandLine(argc, argv);
    if (line.mode != quellomir::CommandLine::Mode::Window) return runWithoutWindow(line);
    if (!hasDisplay()) {
        std::fputs("quellomir: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
                   "to compare or sync without one, see quellomir --help\n",
                   stderr);
        return quellomir::ExitUsage;
    }

    QApplication app(argc, argv);
    // The window's own words (menus, captions, questions) in the user's language, where a
    // translation lies beside the program; the texts the window shares with the original
    // program stay as they are.
    QTranslator translation;
    if (translation.load(QLocale(), QStringLiteral("quellomir"), QStringLiteral("_"),
                         QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        QCoreApplication::installTranslator(&translation);
    quellomir::QtDialogs dialogs;
    quellomir::SettingsStore settings;
    quellomir::PosixFileSystem posix;
    quellomir::WatchedFileSystem fs(posix);
    const quellomir::CodePage codePage = quellomir::CodePage::forUserLocale();
    quellomir::Form1 window({dialogs, settings, fs, codePage, QCoreApplication::applicationDirPath(),
                             quellomir::drawHomePageVisit});
    // Closing the window during a run ends the program as soon as the run has unwound.
    QObject::connect(&window, &quellomir::Form1::closedDuringRun, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // A stop from outside (SIGTERM at logout, SIGHUP, Ctrl+C in the terminal that started
    // the window) closes the window as the user would, so that a sync under way finishes
    // what it copied first. One during the start, while an error box waits, closes the box
    // and ends the program before the window shows.
    quellomir::stopGentlyOnSignals(stopRequested);
    bool starting = true;
    bool stoppedWhileStarting = false;
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &window, [&] {
        if (!stopRequested.exchange(false) && !stoppedWhileStarting) return;
        if (!starting) {
            window.close();
            return;
        }
        stoppedWhileStarting = true;
        while (QWidget* box = QApplication::activeModalWidget())
            if (!box->close()) break;
    });
    stopWatch.start(100);
    window.Form_Load();
    starting = false;
    if (stoppedWhileStarting) return quellomir::ExitInterrupted;
    window.show();
    return app.exec();
}
