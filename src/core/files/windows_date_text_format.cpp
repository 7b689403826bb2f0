#include "files/date_text_format.h"

#include "fs/windows_text.h"

#include <windows.h>

#include <cstdio>

namespace quellomir {
namespace {

const std::wstring& localeName(void* locale) {
    return *static_cast<const std::wstring*>(locale);
}

// Windows writes dates from 1601 on only; one before that is written as ISO 8601 writes it.
std::string dateText(const std::wstring& locale, const SYSTEMTIME& time, const std::tm& parts) {
    wchar_t buffer[128];
    if (int length = ::GetDateFormatEx(locale.c_str(), DATE_SHORTDATE, &time, nullptr, buffer, 128, nullptr))
        return fromWide(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
    return text;
}

std::string timeText(const std::wstring& locale, const SYSTEMTIME& time, const std::tm& parts) {
    wchar_t buffer[128];
    if (int length = ::GetTimeFormatEx(locale.c_str(), 0, &time, nullptr, buffer, 128))
        return fromWide(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)));
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

} // namespace

DateTextFormat::DateTextFormat() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    // The name, not LOCALE_NAME_USER_DEFAULT, so that a change of the user's settings
    // during a run does not change how the run writes its times.
    const int length = ::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    m_locale = new std::wstring(length > 0 ? std::wstring(name) : std::wstring(LOCALE_NAME_INVARIANT));
}

DateTextFormat::~DateTextFormat() {
    delete static_cast<std::wstring*>(m_locale);
}

std::string DateTextFormat::written(const std::tm& time, bool date, bool timeOfDay) const {
    SYSTEMTIME system{};
    system.wYear = static_cast<WORD>(time.tm_year + 1900);
    system.wMonth = static_cast<WORD>(time.tm_mon + 1);
    system.wDayOfWeek = static_cast<WORD>(time.tm_wday);
    system.wDay = static_cast<WORD>(time.tm_mday);
    system.wHour = static_cast<WORD>(time.tm_hour);
    system.wMinute = static_cast<WORD>(time.tm_min);
    system.wSecond = static_cast<WORD>(time.tm_sec);
    const std::wstring& locale = localeName(m_locale);
    if (!date) return timeText(locale, system, time);
    if (!timeOfDay) return dateText(locale, system, time);
    return dateText(locale, system, time) + ' ' + timeText(locale, system, time);
}

} // namespace quellomir
