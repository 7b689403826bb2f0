#pragma once

#include <QString>
#include <QStringList>

class QPoint;
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
    // A context menu of `items` at `at` (global); those of `toggles` are checkable, and those
    // of `checked` ticked. The chosen item's text, or the empty text when the menu was closed
    // without a choice.
    virtual QString chooseFromMenu(QWidget* owner, const QPoint& at, const QStringList& items,
                                   const QStringList& toggles, const QStringList& checked) = 0;
    // A modal question with a warning sign and one button per answer; the index of the answer
    // chosen. Escape or closing the box chooses the last, which is to be the cautious one.
    virtual int ask(QWidget* owner, const QString& text, const QString& title,
                    const QStringList& answers) = 0;
};

} // namespace quellomir
