#pragma once

#include <QString>

class QWidget;

namespace quellomir {

// Everything the window asks of the user or the desktop goes through here, so tests can
// put a recorder in its place and no dialog ever blocks a test.
class Dialogs {
  public:
    enum class Icon { None, Warning };

    virtual ~Dialogs() = default;
    // A modal box with an OK button only. The text keeps its carriage returns as built.
    virtual void showMessage(QWidget* owner, const QString& text, const QString& title, Icon icon) = 0;
    // The chosen folder's path as the dialog gives it, or the empty text on cancel.
    virtual QString chooseFolder(QWidget* owner, const QString& title, const QString& initialFolder) = 0;
    virtual void openUrl(const QString& url) = 0;
};

} // namespace quellomir
