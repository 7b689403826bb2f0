#include "app/dialog_error_report.h"

#include <QMetaObject>
#include <QThread>
#include <QWidget>

namespace quellomir {

void DialogErrorReport::report(const std::string& description, const std::string& location, int line) {
    const auto show = [&] {
        m_dialogs.showMessage(m_owner, QString::fromStdString(errorReportText(description, location, line)),
                              QStringLiteral("Application Error"), Dialogs::Icon::Warning);
    };
    // A run on a thread of its own waits until the box was shown and closed, as a run on
    // the window's thread would.
    if (m_owner && QThread::currentThread() != m_owner->thread())
        QMetaObject::invokeMethod(m_owner, show, Qt::BlockingQueuedConnection);
    else
        show();
}

} // namespace quellomir
