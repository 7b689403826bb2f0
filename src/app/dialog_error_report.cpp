#include "app/dialog_error_report.h"

namespace quellomir {

void DialogErrorReport::report(const std::string& description, const std::string& location, int line) {
    m_dialogs.showMessage(m_owner, QString::fromStdString(errorReportText(description, location, line)),
                          QStringLiteral("Application Error"), Dialogs::Icon::Warning);
}

} // namespace quellomir
