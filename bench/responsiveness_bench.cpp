// How long the window goes without answering during a real compare run: a timer asks to
// run every 5 ms, and the longest wait between two of its turns is what a user would feel
// as a freeze. Offscreen platform, the real window.
//
//   quellomir-gui-bench responsiveness DIR1 DIR2

#include "app/form1.h"
#include "app/qt_dialogs.h"
#include "fs/posix_file_system.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace quellomir;

namespace {

// No box may wait for a person here.
class SilentDialogs final : public Dialogs {
  public:
    void showMessage(QWidget*, const QString& text, const QString&, Icon) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void openUrl(const QString&) override {}
    QString chooseFromMenu(QWidget*, const QPoint&, const QStringList&, const QStringList&,
                           const QStringList&) override {
        return {};
    }
    // The bench syncs what it compared, as a user who said yes.
    int ask(QWidget*, const QString&, const QString&, const QStringList&) override { return 0; }
};

} // namespace

int runResponsiveness(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: quellomir-gui-bench responsiveness DIR1 DIR2\n");
        return 2;
    }
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    {
        QSettings store(config.path() + QStringLiteral("/Venmarro.conf"), QSettings::NativeFormat);
        store.setValue(QStringLiteral("Quellomir/ListView1"), QString::fromLocal8Bit(argv[2]) + '/');
        store.setValue(QStringLiteral("Quellomir/ListView2"), QString::fromLocal8Bit(argv[3]) + '/');
    }
    SilentDialogs dialogs;
    SettingsStore settings;
    PosixFileSystem fs;
    const CodePage codePage = CodePage::forUserLocale();
    Form1 window({dialogs, settings, fs, codePage, QStringLiteral("/nonexistent"), [] { return 1; }});
    window.Form_Load();
    window.show();
    QCoreApplication::processEvents();

    QElapsedTimer sinceLastTurn;
    qint64 longestGap = 0;
    int turns = 0;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (window.runInProgress()) {
            longestGap = std::max(longestGap, sinceLastTurn.nsecsElapsed());
            ++turns;
        }
        sinceLastTurn.restart();
    });
    probe.start();
    sinceLastTurn.start();

    QElapsedTimer run;
    run.start();
    window.PushButton5_Click();
    const double seconds = double(run.nsecsElapsed()) / 1e9;
    std::printf("compare run     %.3f s, %d plan rows\n", seconds, window.plan().count());
    std::printf("window turns    %d during the run, longest wait %.1f ms\n", turns, double(longestGap) / 1e6);
    return 0;
}
