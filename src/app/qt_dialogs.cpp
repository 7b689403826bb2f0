#include "app/qt_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

namespace quellomir {

QString displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtDialogs::showMessage(QWidget* owner, const QString& text, const QString& title, Icon icon) {
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    displayText(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& title, const QString& initialFolder) {
    return QFileDialog::getExistingDirectory(owner, title, initialFolder, QFileDialog::ShowDirsOnly);
}

void QtDialogs::openUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

QString QtDialogs::chooseFromMenu(QWidget* owner, const QPoint& at, const QStringList& items,
                                  const QStringList& toggles, const QStringList& checked) {
    QMenu menu(owner);
    for (const QString& item : items) {
        QAction* action = menu.addAction(item);
        action->setCheckable(toggles.contains(item));
        action->setChecked(checked.contains(item));
    }
    const QAction* chosen = menu.exec(at);
    return chosen ? chosen->text() : QString();
}

} // namespace quellomir
