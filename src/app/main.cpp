#include "app/form1.h"
#include "app/home_page_draw.h"
#include "app/qt_dialogs.h"
#include "app/settings_store.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quellomir::QtDialogs dialogs;
    quellomir::SettingsStore settings;
    quellomir::Form1 window(
        {dialogs, settings, QCoreApplication::applicationDirPath(), quellomir::drawHomePageVisit});
    window.Form_Load();
    window.show();
    return app.exec();
}
