#include "app/form1.h"
#include "app/home_page_draw.h"
#include "app/qt_dialogs.h"
#include "app/settings_store.h"
#include "files/code_page.h"
#include "fs/posix_file_system.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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
