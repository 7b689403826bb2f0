#include "files/date_text_format.h"

#include <chrono>
#include <cmath>

namespace quellomir {

std::string DateTextFormat::text(double dateValue) const {
    using namespace std::chrono;
    // A negative value counts its days back from 1899 but its time of day forward:
    // -1.25 is 29 December 1899, 06:00.
    double day = std::trunc(dateValue);
    double linear = day + std::fabs(dateValue - day);
    long long totalSeconds = std::llround(linear * 86'400.0);
    long long dayNumber = totalSeconds / 86'400 - (totalSeconds % 86'400 < 0 ? 1 : 0);
    long long secondOfDay = totalSeconds - dayNumber * 86'400;

    sys_days date = sys_days(year(1899) / December / 30) + days(dayNumber);
    year_month_day ymd(date);
    std::tm time{};
    time.tm_year = static_cast<int>(ymd.year()) - 1900;
    time.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    time.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    time.tm_wday = static_cast<int>(weekday(date).c_encoding());
    time.tm_yday = static_cast<int>((date - sys_days(ymd.year() / January / 1)).count());
    time.tm_hour = static_cast<int>(secondOfDay / 3600);
    time.tm_min = static_cast<int>(secondOfDay / 60 % 60);
    time.tm_sec = static_cast<int>(secondOfDay % 60);

    if (dateValue == 0) return written(time, false, true);
    if (secondOfDay == 0) return written(time, true, false);
    return written(time, true, true);
}

} // namespace quellomir
