#include "app/qt_dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
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

int QtDialogs::ask(QWidget* owner, const QString& text, const QString& title, const QStringList& answers) {
    QMessageBox box(QMessageBox::Warning, title, displayText(text), QMessageBox::NoButton, owner);
    box.setTextFormat(Qt::PlainText);
    QList<QPushButton*> buttons;
    for (int i = 0; i < answers.size(); ++i)
        buttons.append(box.addButton(answers[i], i + 1 == answers.size() ? QMessageBox::RejectRole
                                                                         : QMessageBox::AcceptRole));
    if (!buttons.isEmpty()) {
        box.setEscapeButton(buttons.last());
        box.setDefaultButton(buttons.last());
    }
    box.exec();
    const int chosen = int(buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
    return chosen < 0 ? int(answers.size()) - 1 : chosen;
}

} // namespace quellomir
