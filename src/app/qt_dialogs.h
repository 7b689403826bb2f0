#pragma once

#include "app/dialogs.h"

namespace quellomir {

class QtDialogs final : public Dialogs {
  public:
    void showMessage(QWidget* owner, const QString& text, const QString& title, Icon icon) override;
    QString chooseFolder(QWidget* owner, const QString& title, const QString& initialFolder) override;
    void openUrl(const QString& url) override;
    QString chooseFromMenu(QWidget* owner, const QPoint& at, const QStringList& items,
                           const QStringList& toggles, const QStringList& checked) override;
    int ask(QWidget* owner, const QString& text, const QString& title, const QStringList& answers) override;
};

// "\r\n" and a lone "\r" each become one line break, the way the program's messages are
// meant to read.
QString displayText(const QString& text);

} // namespace quellomir
