#include "app/form1.h"
#include "app/home_page_draw.h"
#include "app/qt_dialogs.h"
#include "app/settings_store.h"
#include "cli/command_line.h"
#include "cli/command_line_run.h"
#include "files/code_page.h"
#include "fs/posix_file_system.h"

#include <QApplication>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<bool> interrupted{false};

void interrupt(int) {
    interrupted = true;
}

// Ctrl+C and a stop from a timer or service manager end a run from the command line after
// its current row; a second one ends the program at once. A program started in the
// background of a script, which ignores Ctrl+C, goes on ignoring it.
void stopGentlyOnSignals() {
    struct sigaction action {};
    action.sa_handler = interrupt;
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
}

int runWithoutWindow(const quellomir::CommandLine& line) {
    stopGentlyOnSignals();
    quellomir::PosixFileSystem fs;
    const quellomir::CodePage codePage = quellomir::CodePage::forUserLocale();
    quellomir::Terminal terminal;
    terminal.progress = ::isatty(STDERR_FILENO) == 1;
    terminal.interrupted = &interrupted;
    return quellomir::runCommandLine(line, fs, codePage, terminal);
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
    quellomir::QtDialogs dialogs;
    quellomir::SettingsStore settings;
    quellomir::PosixFileSystem fs;
    const quellomir::CodePage codePage = quellomir::CodePage::forUserLocale();
    quellomir::Form1 window({dialogs, settings, fs, codePage, QCoreApplication::applicationDirPath(),
                             quellomir::drawHomePageVisit});
    // Closing the window during a run ends the program as soon as the run has unwound.
    QObject::connect(&window, &quellomir::Form1::closedDuringRun, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.Form_Load();
    window.show();
    return app.exec();
}
