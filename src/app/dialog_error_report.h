#pragma once

#include "app/dialogs.h"
#include "handler/error_report.h"

class QWidget;

namespace quellomir {

// The "Application Error" box: warning icon, OK only, modal to the window.
class DialogErrorReport final : public ErrorReport {
  public:
    DialogErrorReport(Dialogs& dialogs, QWidget* owner) : m_dialogs(dialogs), m_owner(owner) {}
    void report(const std::string& description, const std::string& location, int line) override;

  private:
    Dialogs& m_dialogs;
    QWidget* m_owner;
};

} // namespace quellomir
