#include "app/form1.h"
#include "app/window_yielder.h"

#include <QCloseEvent>
#include <QPointer>
#include <QPushButton>

namespace quellomir {

void Form1::carryOutRun(const QString& activity, const std::function<QString()>& progress,
                        const std::function<void(Yielder&)>& run) {
    if (m_running) return;
    m_running = true;
    // Turning the pressed button off moves the keyboard focus on; it goes back after the
    // run unless the user has moved it meanwhile.
    const QPointer<QWidget> focusBefore = focusWidget();
    setRunControlsEnabled(false);
    const QPointer<QWidget> focusDuring = focusWidget();
    const QString caption = windowTitle();
    WindowYielder yielder(
        [&] {
            setWindowTitle(caption + QStringLiteral(" \u2014 ") + activity + QStringLiteral(": ") +
                           progress());
        },
        [this] { return m_closedDuringRun; }, m_env.yieldInterval);
    bool cancelled = false;
    try {
        run(yielder);
    } catch (const RunCancelled&) {
        cancelled = true;
    }
    setWindowTitle(caption);
    setRunControlsEnabled(true);
    if (focusBefore && focusBefore != focusDuring && focusWidget() == focusDuring) focusBefore->setFocus();
    m_running = false;
    if (cancelled) emit closedDuringRun();
}

void Form1::setRunControlsEnabled(bool enabled) {
    // "Help" stays: reading the instructions cannot disturb a run.
    for (QPushButton* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                                PushButton7, PushButton8, PushButton9})
        button->setEnabled(enabled);
}

void Form1::closeEvent(QCloseEvent* event) {
    if (m_running) m_closedDuringRun = true;
    QWidget::closeEvent(event);
}

} // namespace quellomir
