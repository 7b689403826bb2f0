#include "compare/compare_run.h"

#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/recording_report.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <linux/magic.h>

#include <cstring>

#include <map>
#include <string>
#include <tuple>

namespace quellomir {
namespace {

using testing::FakeDrive;
using testing::RecordingReport;
using testing::TempFolder;

TEST(CompareFolders, ReadsEachFolderOfBothSidesOnce) {
    TempFolder tmp;
    tmp.file("one/a.txt");
    tmp.file("one/Sub/b.txt");
    tmp.file("one/Sub/Deeper/c.txt");
    tmp.file("two/a.txt");
    tmp.file("two/Other/d.txt");
    // One time for both: made a moment apart, they could fall on two sides of a second.
    for (const char* a : {"one/a.txt", "two/a.txt"})
        testing::setTime(tmp / a, {1'600'000'000, 0});
    PosixFileSystem real;
    // The reads of each folder, as opposed to entries merely stat'ed.
    FakeDrive counted(real);
    std::map<std::string, int> reads;
    counted.before(FakeDrive::Call::ListFolder, [&](const std::string& folder) { ++reads[folder]; });
    RecordingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    const CodePage codePage;
    NoYield noYield;
    std::size_t listed = 0;
    CompareContext context{counted, codePage, report, noYield, listed, 0};

    const Plan plan = compareFolders(
        handler, [&] { return tmp / "one/"; }, [&] { return tmp / "two/"; }, context);

    EXPECT_TRUE(report.entries.empty());
    EXPECT_EQ(listed, 5u);
    EXPECT_EQ(plan.size(), 3u); // b and c to two, d to one; a.txt is on both sides with one time
    const std::map<std::string, int> once = {{tmp / "one/", 1},
                                             {tmp / "one/Sub/", 1},
                                             {tmp / "one/Sub/Deeper/", 1},
                                             {tmp / "two/", 1},
                                             {tmp / "two/Other/", 1}};
    EXPECT_EQ(reads, once);

    // Left out by name, by an extension, by a folder's name and by a path below the folder:
    // in neither side's plan, and counted.
    tmp.file("one/a.tmp");
    tmp.file("one/Sub/Deeper/e.txt");
    tmp.file("two/Other/Thumbs.db");
    context.exclusions = Exclusions::fromSetting(" *.tmp ;Thumbs.db;Deeper/; Other/d.txt;nothing/");
    const Plan excluded = compareFolders(
        handler, [&] { return tmp / "one/"; }, [&] { return tmp / "two/"; }, context);
    EXPECT_EQ(testing::rowTexts(excluded),
              std::vector<std::string>{tmp / "one/Sub/b.txt| will be copied to|" + tmp / "two/"});
    EXPECT_EQ(excluded.notes(), std::vector<std::string>{"3 files and 1 folder left out"});
}

TEST(CompareFolders, OnFatTimesAsTheStickKeepsThemCountAsTheSourcesOwn) {
    TempFolder tmp;
    const std::string one = tmp / "one/", two = tmp / "two/";
    // Copies with their sources' times, and one file changed since.
    const FileTime times[] = {
        {1'600'000'000, 0}, {1'600'000'001, 0}, {1'600'000'001, 600'000'000}, {1'600'000'003, 999'999'999}};
    for (std::size_t i = 0; i < std::size(times); ++i)
        for (const char* side : {"one/f", "two/f"})
            testing::withTime(tmp.file(side + std::to_string(i)), times[i]);
    testing::withTime(tmp.file("one/changed"), {1'600'000'010, 0});
    testing::withTime(tmp.file("two/changed"), times[0]);
    // Saved again an hour after the stick's copy: no shift of the clock, for it grew.
    testing::withTime(tmp.file("one/hourly", "grown since"), {1'600'003'600, 0});
    testing::withTime(tmp.file("two/hourly", "short"), {1'600'000'000, 0});
    PosixFileSystem real;
    // type, shift by daylight-saving time, rows: the changed files on FAT, unless the shift
    // makes the hourly one's times equal; there and on the odd seconds elsewhere.
    const std::tuple<const char*, int, std::size_t> drives[] = {
        {"vfat", 0, 2}, {"vfat", 3600, 1}, {"fuse.fusefat", -3600, 2}, {"fuse.exfat", 0, 5}};
    for (const auto& [type, shift, rows] : drives) {
        SCOPED_TRACE(std::string(type) + " shifted by " + std::to_string(shift));
        // A stick that keeps times as FAT does: to the even second below, and shifted.
        const std::uint64_t magic = std::string(type) == "vfat" ? MSDOS_SUPER_MAGIC : FUSE_SUPER_MAGIC;
        FakeDrive drive(
            real, {.root = two, .type = magic, .mountType = type, .fatTimes = true, .clockShift = shift});
        const Plan plan = testing::comparePlan(drive, one, two);
        EXPECT_EQ(plan.size(), rows) << ::testing::PrintToString(testing::rowTexts(plan));
        EXPECT_EQ(plan.fatTimes(Side::Folder2), std::string(type) != "fuse.exfat");
        EXPECT_FALSE(plan.fatTimes(Side::Folder1));
    }
}

TEST(CompareFolders, NamesOfEveryScriptAreCarriedEvenInAFolderOfSuchAName) {
    TempFolder tmp;
    const std::string photos = "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE/"; // Cyrillic
    // Greek, Polish, Chinese, an emoji, an accent as a mark of its own; one name is no UTF-8.
    for (const char* name : {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC", "\xC5\x82\xC3\xB3\x64\xC5\xBA",
                             "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80", "cafe\xCC\x81"})
        tmp.file(photos + name + "/" + name);
    tmp.file(photos + "bad\xFF");
    PosixFileSystem fs;
    EXPECT_EQ(testing::comparePlan(fs, tmp / photos, tmp.folder("two") + "/").size(), 5u);
}

// A file, a folder's facts and a folder's listing fail, and a folder lies deeper than a
// path can reach: each is named with its reason, nothing is reported, the rest is planned.
TEST(CompareFolders, WhatCouldNotBeReadIsNamedAndTheRestPlanned) {
    using Op = testing::FaultyFileSystem::Operation;
    TempFolder tmp;
    const std::string one = tmp / "one/";
    tmp.file("one/fine.txt");
    tmp.file("one/failing.txt");
    tmp.file("one/sick/a.txt");
    tmp.file("one/locked/b.txt");
    const std::string deep = tmp.beyondPathMax("one/deep", 1) + "/" + std::string(200, 'd') + "0";
    PosixFileSystem real;
    testing::FaultyFileSystem faulty(real);
    faulty.failPath(Op::EntryStat, one + "failing.txt", EIO);
    faulty.failPath(Op::EntryStat, one + "sick", EIO);
    faulty.failPath(Op::Stat, one + "sick", EIO);
    faulty.failPath(Op::ListFolder, one + "locked", EACCES);
    UnreadParts unread;
    EXPECT_EQ(testing::rowTexts(testing::comparePlan(faulty, one, tmp.folder("two") + "/", &unread)),
              std::vector<std::string>{one + "fine.txt| will be copied to|" + tmp / "two/"});
    std::map<std::string, std::string> named;
    for (const UnreadParts::Part& part : unread.parts())
        named[part.path] = part.reason;
    EXPECT_EQ(named, (std::map<std::string, std::string>{{one + "failing.txt", std::strerror(EIO)},
                                                         {one + "sick/", std::strerror(EIO)},
                                                         {one + "locked/", std::strerror(EACCES)},
                                                         {deep + "/", std::strerror(ENAMETOOLONG)}}));
}

} // namespace
} // namespace quellomir
