#include "files/date_text_format.h"

#include <locale.h>

namespace quellomir {
namespace {

std::string format(const char* pattern, const std::tm& time, locale_t locale) {
    char buffer[128];
    std::size_t length = ::strftime_l(buffer, sizeof buffer, pattern, &time, locale);
    return std::string(buffer, length);
}

} // namespace

DateTextFormat::DateTextFormat() {
    locale_t locale = ::newlocale(LC_TIME_MASK, "", locale_t{});
    if (!locale) locale = ::newlocale(LC_TIME_MASK, "C", locale_t{}); // the user's locale is not installed
    m_locale = locale;
}

DateTextFormat::~DateTextFormat() {
    if (m_locale) ::freelocale(static_cast<locale_t>(m_locale));
}

std::string DateTextFormat::written(const std::tm& time, bool date, bool timeOfDay) const {
    auto locale = static_cast<locale_t>(m_locale);
    if (!date) return format("%X", time, locale);
    if (!timeOfDay) return format("%x", time, locale);
    return format("%x", time, locale) + ' ' + format("%X", time, locale);
}

} // namespace quellomir
