#include "files/local_date.h"

#include "files/local_clock.h"

#include <ctime>

namespace quellomir {
namespace {

constexpr std::int64_t UnitsPerSecond = 10'000'000;
constexpr std::int64_t UnitsPerDay = 86'400 * UnitsPerSecond;
constexpr std::int64_t SecondsFrom1601To1970 = 11'644'473'600;
constexpr std::int64_t DaysFrom1601To1899 = 109'205; // to 30 December 1899

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

} // namespace

std::int64_t WindowsFileTime(FileTime time) {
    std::int64_t units = (time.seconds + SecondsFrom1601To1970) * UnitsPerSecond;
    return units + (time.known() ? time.nanoseconds / 100 : 0);
}

double FileTimeToLocalDate(std::int64_t fileTime) {
    if (fileTime < 0) return 0;
    std::time_t seconds =
        static_cast<std::time_t>(floorDiv(fileTime, UnitsPerSecond) - SecondsFrom1601To1970);
    std::tm local{};
    long offset = 0;
    if (!localTimeAt(seconds, local, offset)) return 0;
    std::int64_t localTime = fileTime + static_cast<std::int64_t>(offset) * UnitsPerSecond;
    if (localTime < 0) return 0;
    // Whole days and the fraction apart, so that a date in 2020 keeps its 100 ns.
    std::int64_t days = localTime / UnitsPerDay;
    std::int64_t rest = localTime % UnitsPerDay;
    return static_cast<double>(days - DaysFrom1601To1899) + static_cast<double>(rest) / UnitsPerDay;
}

} // namespace quellomir
