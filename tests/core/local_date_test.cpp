#include "files/date_text_format.h"
#include "files/local_date.h"
#include "support/pinned_environment.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

using testing::PinnedEnvironment;

constexpr std::int64_t UnitsPerDay = 864'000'000'000;
constexpr std::int64_t DaysTo1899 = 109'205;

TEST(FileTimeToLocalDate, FixedPointsInUtc) {
    PinnedEnvironment tz("TZ", "UTC");
    EXPECT_DOUBLE_EQ(FileTimeToLocalDate(DaysTo1899 * UnitsPerDay), 0.0);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDate(DaysTo1899 * UnitsPerDay + UnitsPerDay / 2), 0.5);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDate(0), -109'205.0);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDate(-1), 0.0); // no such file time
}

TEST(FileTimeToLocalDate, ShiftsByTheLocalOffsetAndKeepsSubSeconds) {
    PinnedEnvironment tz("TZ", "XST-3"); // three hours east of UTC, no summer time
    std::int64_t noonUtc = (DaysTo1899 + 44'000) * UnitsPerDay + UnitsPerDay / 2;
    EXPECT_DOUBLE_EQ(FileTimeToLocalDate(noonUtc), 44'000.625);
    double withTenth = FileTimeToLocalDate(noonUtc + 1'000'000); // a tenth of a second later
    EXPECT_NEAR((withTenth - 44'000.625) * 86'400, 0.1, 1e-6);
}

TEST(WindowsFileTime, CountsFrom1601InHundredsOfNanoseconds) {
    EXPECT_EQ(WindowsFileTime({0, 0}), 116'444'736'000'000'000);
    EXPECT_EQ(WindowsFileTime({1, 999'999'999}), 116'444'736'000'000'000 + 19'999'999);
    EXPECT_EQ(WindowsFileTime({-1, 500'000'000}), 116'444'736'000'000'000 - 5'000'000);
}

TEST(DateTextFormat, ShortDateBlankLongTimeToTheNearestSecond) {
    PinnedEnvironment locale("LC_ALL", "C");
    DateTextFormat format;
    // 31 December 2021 is day 44561.
    EXPECT_EQ(format.text(44'561.5), "12/31/21 12:00:00");
    EXPECT_EQ(format.text(44'561.5 + 1.4 / 86'400), "12/31/21 12:00:01");
    EXPECT_EQ(format.text(44'561.5 + 1.6 / 86'400), "12/31/21 12:00:02");
}

TEST(DateTextFormat, MidnightGivesTheDateAloneAndZeroTheTimeAlone) {
    PinnedEnvironment locale("LC_ALL", "C");
    DateTextFormat format;
    EXPECT_EQ(format.text(44'561.0), "12/31/21");
    EXPECT_EQ(format.text(0.0), "00:00:00");
    EXPECT_EQ(format.text(1.25), "12/31/99 06:00:00");
    EXPECT_EQ(format.text(-1.25), "12/29/99 06:00:00"); // days count back, the time forward
}

} // namespace
} // namespace quellomir
