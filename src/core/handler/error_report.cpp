#include "handler/error_report.h"

#include "handler/addresses.h"

namespace quellomir {

std::string errorReportText(const std::string& description, const std::string& location, int line) {
    std::string text = description;
    text += "\r\n";
    text += location;
    text += "at line ";
    text += std::to_string(line);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += addresses::SupportEmail;
    return text;
}

} // namespace quellomir
