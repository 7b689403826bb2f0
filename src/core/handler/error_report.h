#pragma once

#include <string>

namespace quellomir {

// Where a numbered handler sends a failing statement. The window shows it in the
// "Application Error" box; tests record it.
class ErrorReport {
  public:
    virtual ~ErrorReport() = default;
    virtual void report(const std::string& description, const std::string& location, int line) = 0;
};

// The text of the error box: description, CR LF, location literal, "at line ", number,
// CR CR, support line. The carriage returns stay as they are; the display turns them
// into line breaks.
std::string errorReportText(const std::string& description, const std::string& location, int line);

} // namespace quellomir
