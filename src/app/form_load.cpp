#include "app/application_title.h"
#include "app/form1.h"
#include "app/hand_cursor.h"
#include "handler/addresses.h"
#include "handler/numbered_handler.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTreeView>

#include <stdexcept>

// The icons are compiled into the window's static library; nothing else would pull them
// in at link time.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace quellomir {
namespace {

// True when the file system can tell the path's last-modification time.
bool pathExists(const QString& path) {
    return QFileInfo(path).lastModified().isValid();
}

QString readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(path.toStdString() + ": " + file.errorString().toStdString());
    return QString::fromUtf8(file.readAll());
}

// A stored folder gets its trailing separator as a chosen one does: the file may have
// been edited by hand or written by another tool, and the paths of the plan are built
// on that separator.
QString asSlotText(QString folder) {
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

QIcon programIcon() {
    initIconResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

void Form1::Form_Load() {
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.Form_Load ");
    const QString skinFile = m_env.programFolder + QStringLiteral("/x/o.cjs");
    const QString cursorFile = m_env.programFolder + QStringLiteral("/HAND-M.CUR");

    h.run(100, [&] {
        if (QFileInfo::exists(skinFile)) applySkin(skinFile);
    });
    if (h.test(102, [&] { return pathExists(cursorFile); }))
        h.run(104, [&] { m_handCursor = loadHandCursor(cursorFile); });
    h.run(106, [&] {
        setWindowTitle(ProductName);
        setWindowIcon(programIcon());
        m_applicationTitle = applicationTitle(ProductName);
    });
    h.run(110, [&] { visitHomePageSometimes(); });

    h.run(128, [&] { m_folder1.addColumn(QStringLiteral("Folder 1")); });
    h.run(130, [&] { setColumnWidth(ListView1, 0, 7000); });
    h.run(132, [&] { m_folder2.addColumn(QStringLiteral("Folder 2")); });
    h.run(134, [&] { setColumnWidth(ListView2, 0, 7000); });
    h.run(136, [&] { m_plan.addColumn(QStringLiteral("Source")); });
    h.run(138, [&] { setColumnWidth(ListView3, 0, 2600); });
    h.run(140, [&] { m_plan.addColumn(QStringLiteral("Action")); });
    h.run(142, [&] { setColumnWidth(ListView3, 1, 2000); });
    h.run(144, [&] { m_plan.addColumn(QStringLiteral("Destination")); });
    h.run(146, [&] { setColumnWidth(ListView3, 2, 2600); });

    QString storedFolder1;
    h.run(148, [&] { storedFolder1 = m_env.settings.read(QStringLiteral("ListView1"), QString()); });
    if (h.test(150, [&] { return !storedFolder1.isEmpty(); }))
        h.run(152, [&] { m_folder1.add(asSlotText(storedFolder1)); });

    QString storedFolder2;
    h.run(154, [&] { storedFolder2 = m_env.settings.read(QStringLiteral("ListView2"), QString()); });
    if (h.testLeave(156, [&] { return storedFolder2.isEmpty(); })) return;
    h.run(158, [&] { m_folder2.add(asSlotText(storedFolder2)); });
}

void Form1::applySkin(const QString& skinFile) {
    // The colour changes come first, so a skin that fails to load still leaves the window
    // in the colour the skin was meant to sit on.
    QPalette buttonFace = palette();
    buttonFace.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(buttonFace);
    setBackgroundRole(QPalette::Window);
    setStyleSheet(readWholeFile(skinFile));
}

void Form1::visitHomePageSometimes() {
    if (m_env.drawHomePageVisit() == 7) m_env.dialogs.openUrl(QString::fromLatin1(addresses::HomePage));
}

} // namespace quellomir
