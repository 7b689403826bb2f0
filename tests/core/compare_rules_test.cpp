#include "compare/compare_rules.h"
#include "support/compare_lists.h"

#include <gtest/gtest.h>

#include <vector>

namespace quellomir {
namespace {

using testing::fileList;
using testing::timeOfDay;
using testing::UnknownTime;
using Indexes = std::vector<std::uint32_t>;

PlanRow overwrite(Side sourceSide, std::uint32_t source, std::uint32_t destination) {
    PlanRow row;
    row.kind = RowKind::Overwrite;
    row.sourceSide = sourceSide;
    row.source = source;
    row.destination = destination;
    return row;
}

std::vector<PlanRow> findNewer(const FileList& a, const FileList& b) {
    NoYield noYield;
    std::vector<PlanRow> rows;
    FindNewer(a, b, rows, noYield);
    return rows;
}

Indexes findMissing(const FileList& a, const FileList& b) {
    NoYield noYield;
    return FindMissing(a, b, noYield);
}

TEST(CompareWriteTimes, RoundsToTheNearestSecond) {
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 5), timeOfDay(10, 0, 4)), std::strong_ordering::greater);
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 5, 200'000'000), timeOfDay(10, 0, 4, 900'000'000)),
              std::strong_ordering::equal);
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 5, 0), timeOfDay(10, 0, 4, 400'000'000)),
              std::strong_ordering::greater);
    // Half a second rounds up, just under half rounds down.
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 4, 500'000'000), timeOfDay(10, 0, 5)),
              std::strong_ordering::equal);
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 4, 499'999'999), timeOfDay(10, 0, 5)),
              std::strong_ordering::less);
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 4, 499'999'999), timeOfDay(10, 0, 4)),
              std::strong_ordering::equal);
    // No tolerance: one second apart is different.
    EXPECT_EQ(compareWriteTimes(timeOfDay(10, 0, 4), timeOfDay(10, 0, 5)), std::strong_ordering::less);
}

TEST(CompareWriteTimes, OrdersAcrossHoursDaysAndMonths) {
    const FileTime morning = timeOfDay(11, 0, 0), evening = timeOfDay(21, 0, 0);
    EXPECT_EQ(compareWriteTimes(evening, morning), std::strong_ordering::greater);
    const FileTime september9{1'631'145'600, 0}, october1{1'633'046'400, 0};
    EXPECT_EQ(compareWriteTimes(october1, september9), std::strong_ordering::greater);
    // Before 1970 the seconds are negative and still round to the nearest.
    EXPECT_EQ(compareWriteTimes({-6, 600'000'000}, {-5, 0}), std::strong_ordering::equal);
    EXPECT_EQ(compareWriteTimes({-6, 400'000'000}, {-5, 0}), std::strong_ordering::less);
}

TEST(CompareWriteTimes, UnknownTimeIsEarlierThanAnyAndEqualToUnknown) {
    EXPECT_EQ(compareWriteTimes(UnknownTime, timeOfDay(0, 0, 0)), std::strong_ordering::less);
    EXPECT_EQ(compareWriteTimes(UnknownTime, {0, 0}), std::strong_ordering::less);
    EXPECT_EQ(compareWriteTimes({-100, 0}, UnknownTime), std::strong_ordering::greater);
    EXPECT_EQ(compareWriteTimes(UnknownTime, UnknownTime), std::strong_ordering::equal);
    // Only the nanoseconds mark a time as unknown; its seconds are not looked at.
    EXPECT_EQ(compareWriteTimes({5, -1}, {9, -1}), std::strong_ordering::equal);
}

TEST(CompareWriteTimes, OnFatEqualWithinTwoSecondsAndAnHourGiveOrTakeTwoAtOneSize) {
    const FileTime base = timeOfDay(10, 0, 0);
    auto onFat = [&](int apart) {
        return compareWriteTimes(base, {base.seconds + apart, 0}, TimeRule::FatTolerant);
    };
    for (int apart : {1, 2, 3598, 3600, 3602, -2, -3598, -3602})
        EXPECT_EQ(onFat(apart), std::strong_ordering::equal) << apart;
    for (int apart : {3, 3597, 3603, 7200, -3, -3603})
        EXPECT_EQ(onFat(apart), 0 <=> apart) << apart;
    EXPECT_EQ(compareWriteTimes(base, {base.seconds + 3600, 0}), std::strong_ordering::less); // not on FAT
    // A file saved again an hour later, at another size, is newer: the plan copies it.
    const FileList a = fileList({{"/a/x.txt", base, 10}});
    const FileList b =
        fileList({{"/b/x.txt", {base.seconds + 3600, 0}, 11}, {"/b/y/x.txt", {base.seconds + 3600, 0}, 10}});
    NoYield noYield;
    std::vector<PlanRow> rows;
    FindNewer(a, b, rows, noYield, TimeRule::FatTolerant);
    EXPECT_EQ(rows, std::vector{overwrite(Side::Folder2, 0, 0)});
}

TEST(FindMissing, EmptySides) {
    const FileList some = fileList({{"/a/x.txt", {}}, {"/a/y.txt", {}}});
    EXPECT_EQ(findMissing(some, FileList{}), (Indexes{0, 1}));
    EXPECT_EQ(findMissing(FileList{}, some), Indexes{});
    EXPECT_EQ(findMissing(FileList{}, FileList{}), Indexes{});
}

TEST(FindMissing, MatchesByNameWhateverTheFolder) {
    const FileList a = fileList({{"/a/Sub/a.txt", {}}, {"/a/b.txt", {}}, {"/a/c.txt", {}}});
    const FileList b = fileList({{"/b/a.txt", {}}, {"/b/Deep/er/c.txt", {}}});
    EXPECT_EQ(findMissing(a, b), Indexes{1});
    EXPECT_EQ(findMissing(b, a), Indexes{});
}

TEST(FindMissing, ReportsEveryDuplicateInOrder) {
    const FileList a =
        fileList({{"/a/One/x.txt", {}}, {"/a/y.txt", {}}, {"/a/Two/x.txt", {}}, {"/a/z.txt", {}}});
    const FileList b = fileList({{"/b/y.txt", {}}, {"/b/y.txt", {}}});
    EXPECT_EQ(findMissing(a, b), (Indexes{0, 2, 3}));
    EXPECT_EQ(findMissing(b, a), Indexes{});
}

TEST(FindMissing, ComparesExactBytes) {
    // Letter case counts both ways, and a name is not matched by a prefix or extension of it.
    const FileList a = fileList({{"/a/x.txt", {}}, {"/a/report", {}}, {"/a/Ä.txt", {}}});
    const FileList b = fileList({{"/b/X.TXT", {}}, {"/b/report.txt", {}}, {"/b/ä.txt", {}}});
    EXPECT_EQ(findMissing(a, b), (Indexes{0, 1, 2}));
    EXPECT_EQ(findMissing(b, a), (Indexes{0, 1, 2}));
    EXPECT_TRUE(findNewer(a, b).empty());
}

TEST(FindNewer, NewerSideIsTheSource) {
    const FileList a = fileList({{"/a/x.txt", timeOfDay(10, 0, 5)}, {"/a/y.txt", timeOfDay(9, 0, 0)}});
    const FileList b = fileList({{"/b/y.txt", timeOfDay(9, 0, 1)}, {"/b/x.txt", timeOfDay(10, 0, 4)}});
    EXPECT_EQ(findNewer(a, b), (std::vector{overwrite(Side::Folder1, 0, 1), overwrite(Side::Folder2, 0, 1)}));
}

TEST(FindNewer, SameRoundedSecondGivesNoRow) {
    const FileList a = fileList({{"/a/x.txt", timeOfDay(10, 0, 5, 200'000'000)}});
    const FileList b = fileList({{"/b/x.txt", timeOfDay(10, 0, 4, 900'000'000)}});
    EXPECT_TRUE(findNewer(a, b).empty());
    EXPECT_TRUE(findNewer(b, a).empty());
}

TEST(FindNewer, UnknownTimeIsOverwritten) {
    const FileList known = fileList({{"/a/x.txt", timeOfDay(0, 0, 0)}});
    const FileList unknown = fileList({{"/b/x.txt", UnknownTime}});
    EXPECT_EQ(findNewer(known, unknown), std::vector{overwrite(Side::Folder1, 0, 0)});
    EXPECT_EQ(findNewer(unknown, known), std::vector{overwrite(Side::Folder2, 0, 0)});
    EXPECT_TRUE(findNewer(unknown, unknown).empty());
}

TEST(FindNewer, JudgesEveryPairInTheOrderOfAThenB) {
    // x.txt twice on each side: four pairs, of which the equal-time one gives nothing.
    const FileList a = fileList({{"/a/1/x.txt", timeOfDay(12, 0, 0)}, {"/a/2/x.txt", timeOfDay(8, 0, 0)}});
    const FileList b = fileList({{"/b/1/x.txt", timeOfDay(10, 0, 0)},
                                 {"/b/other.txt", timeOfDay(1, 0, 0)},
                                 {"/b/2/x.txt", timeOfDay(8, 0, 0)}});
    EXPECT_EQ(findNewer(a, b), (std::vector{overwrite(Side::Folder1, 0, 0), overwrite(Side::Folder1, 0, 2),
                                            overwrite(Side::Folder2, 0, 1)}));
}

TEST(FindNewer, SameListOnBothSidesListsEveryPairTwice) {
    const FileList same = fileList({{"/f/One/x.txt", timeOfDay(10, 0, 0)},
                                    {"/f/y.txt", timeOfDay(11, 0, 0)},
                                    {"/f/Two/x.txt", timeOfDay(9, 0, 0)}});
    // The pair (0, 2) and the pair (2, 0) give the same source and destination files,
    // seen from opposite sides.
    EXPECT_EQ(findNewer(same, same),
              (std::vector{overwrite(Side::Folder1, 0, 2), overwrite(Side::Folder2, 0, 2)}));
}

TEST(CompareRules, YieldEveryFewFilesAndPairsTried) {
    // Many same-named files on both sides: the pairs far outnumber the files, and the
    // window must still get its chances while they are judged, at least once every 64.
    struct CountingYield : Yielder {
        void tick() override { ++ticks; }
        std::size_t ticks = 0;
    } counting;
    FileList a, b;
    a.folders = b.folders = {"/f/"};
    for (std::int64_t i = 0; i < 300; ++i) {
        a.add("same", 0, {i, 0});
        b.add("same", 0, {i + 1, 0});
    }
    std::vector<PlanRow> rows;
    FindNewer(a, b, rows, counting);
    EXPECT_EQ(rows.size(), 300u * 300u - 299u);
    EXPECT_GE(counting.ticks, 300u * 300u / 64);

    counting.ticks = 0;
    EXPECT_TRUE(FindMissing(a, b, counting).empty());
    EXPECT_GE(counting.ticks, a.size() / 64);
}

} // namespace
} // namespace quellomir
