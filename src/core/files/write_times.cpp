#include "files/write_times.h"

namespace quellomir {
namespace {

constexpr std::int64_t FatSlack = 2;
constexpr std::int64_t Hour = 3600;

} // namespace

std::strong_ordering compareWriteTimes(FileTime a, FileTime b, TimeRule rule, bool sameSize) {
    if (!a.known() || !b.known()) return a.known() <=> b.known();
    const std::int64_t secondsA = a.roundedSeconds(), secondsB = b.roundedSeconds();
    if (rule == TimeRule::FatTolerant) {
        const std::int64_t apart = secondsA > secondsB ? secondsA - secondsB : secondsB - secondsA;
        if (apart <= FatSlack || (sameSize && apart >= Hour - FatSlack && apart <= Hour + FatSlack))
            return std::strong_ordering::equal;
    }
    return secondsA <=> secondsB;
}

} // namespace quellomir
