#include "files/local_clock.h"

#include <windows.h>

#include <chrono>
#include <cstdint>

namespace quellomir {
namespace {

constexpr std::int64_t UnitsPerSecond = 10'000'000; // a FILETIME counts 100 ns
constexpr std::int64_t SecondsFrom1601To1970 = 11'644'473'600;

// The time zone as it was when the program started, as the C library keeps it on Linux.
const DYNAMIC_TIME_ZONE_INFORMATION& timeZone() {
    static const DYNAMIC_TIME_ZONE_INFORMATION zone = [] {
        DYNAMIC_TIME_ZONE_INFORMATION read{};
        ::GetDynamicTimeZoneInformation(&read);
        return read;
    }();
    return zone;
}

std::int64_t unitsOf(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                     time.dwLowDateTime);
}

} // namespace

bool localTimeAt(std::time_t seconds, std::tm& local, long& offset) {
    // FILETIME starts in 1601. The zone's rules are taken for the year of the time, where the
    // zone's rules for this year would apply today's daylight saving to every date.
    if (seconds < -SecondsFrom1601To1970) return false;
    const auto units = static_cast<std::uint64_t>((seconds + SecondsFrom1601To1970) * UnitsPerSecond);
    const FILETIME utcFile{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
    SYSTEMTIME utc, there;
    DYNAMIC_TIME_ZONE_INFORMATION rules = timeZone(); // Windows takes it by a pointer that is not const
    TIME_ZONE_INFORMATION zone;
    FILETIME localFile;
    if (!::FileTimeToSystemTime(&utcFile, &utc) ||
        !::GetTimeZoneInformationForYear(utc.wYear, &rules, &zone) ||
        !::SystemTimeToTzSpecificLocalTime(&zone, &utc, &there) ||
        !::SystemTimeToFileTime(&there, &localFile))
        return false;
    offset = static_cast<long>((unitsOf(localFile) - unitsOf(utcFile)) / UnitsPerSecond);

    using namespace std::chrono;
    const year_month_day date{year(there.wYear), month(there.wMonth), day(there.wDay)};
    std::tm found{};
    found.tm_year = there.wYear - 1900;
    found.tm_mon = there.wMonth - 1;
    found.tm_mday = there.wDay;
    found.tm_hour = there.wHour;
    found.tm_min = there.wMinute;
    found.tm_sec = there.wSecond;
    found.tm_wday = there.wDayOfWeek;
    found.tm_yday = static_cast<int>((sys_days(date) - sys_days(date.year() / January / 1)).count());
    found.tm_isdst = offset != -zone.Bias * 60L;
    local = found;
    return true;
}

} // namespace quellomir
