#include "compare/compare_run.h"

#include "files/path_text.h"
#include "fs/posix_file_system.h"
#include "support/fat_stick.h"
#include "support/forwarding_file_system.h"
#include "support/pinned_environment.h"
#include "support/recording_report.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace quellomir {
namespace {

using testing::ForwardingFileSystem;
using testing::RecordingReport;
using testing::TempFolder;

// Counts the reads of each folder, as opposed to entries merely stat'ed.
class ReadCounter final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        ++reads[folder];
        return m_inner.listFolder(folder, statKinds, visit);
    }
    std::map<std::string, int> reads;
};

TEST(CompareFolders, ReadsEachFolderOfBothSidesOnce) {
    TempFolder tmp;
    tmp.file("one/a.txt");
    tmp.file("one/Sub/b.txt");
    tmp.file("one/Sub/Deeper/c.txt");
    tmp.file("two/a.txt");
    tmp.file("two/Other/d.txt");
    PosixFileSystem real;
    ReadCounter counted(real);
    RecordingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    const CodePage codePage;
    NoYield noYield;
    std::size_t listed = 0;
    CompareContext context{counted, codePage, report, noYield, listed};

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
    EXPECT_EQ(counted.reads, once);

    // A folder text without its trailing separator plans the same files, not ones beside it.
    const Plan without = compareFolders(
        handler, [&] { return tmp / "one"; }, [&] { return tmp / "two"; }, context);
    ASSERT_EQ(without.size(), plan.size());
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(without.sourceText(row), plan.sourceText(row));
}

TEST(CompareFolders, OnFatTimesAsTheStickKeepsThemCountAsTheSourcesOwn) {
    TempFolder tmp;
    const std::string one = tmp / "one/", two = tmp / "two/";
    // Copies with their sources' times, which a stick keeps to the even second below.
    constexpr std::int64_t Even = 1'600'000'000;
    const FileTime times[] = {{Even, 0}, {Even + 1, 0}, {Even + 1, 600'000'000}, {Even + 3, 999'999'999}};
    for (std::size_t i = 0; i < std::size(times); ++i) {
        testing::withTime(tmp.file("one/f" + std::to_string(i)), times[i]);
        testing::withTime(tmp.file("two/f" + std::to_string(i)), times[i]);
    }
    testing::withTime(tmp.file("one/changed.txt"), {Even + 10, 0});
    testing::withTime(tmp.file("two/changed.txt"), {Even, 0});
    PosixFileSystem real;

    // Whatever daylight-saving time did since, only the changed file is planned.
    for (const char* type : {"vfat", "fuse.fusefat"})
        for (std::int64_t shift : {0, 3600, -3600}) {
            SCOPED_TRACE(std::string(type) + " shifted by " + std::to_string(shift));
            testing::FatStick stick(real, two, type, shift);
            const Plan plan = testing::comparePlan(stick, one, two);
            ASSERT_EQ(plan.size(), 1u) << ::testing::PrintToString(testing::rowTexts(plan));
            EXPECT_EQ(GetFileName(plan.sourceText(0)), "changed.txt");
            EXPECT_TRUE(plan.fatTimes(Side::Folder2));
            EXPECT_FALSE(plan.fatTimes(Side::Folder1));
        }
    // exFAT and ext4 keep the second-exact rule: what such a drive shows differs.
    for (const char* type : {"fuse.exfat", "ext4"}) {
        SCOPED_TRACE(type);
        testing::FatStick drive(real, two, type, 0);
        const Plan plan = testing::comparePlan(drive, one, two);
        EXPECT_EQ(plan.size(), 4u) << ::testing::PrintToString(
            testing::rowTexts(plan)); // f1, f2, f3, changed
        EXPECT_FALSE(plan.fatTimes(Side::Folder2));
    }
}

TEST(CompareFolders, NamesOfEveryScriptAreCarriedUnderCUtf8AndInAFolderOfSuchAName) {
    TempFolder tmp;
    testing::PinnedEnvironment locale("LC_ALL", "C.UTF-8");
    const CodePage codePage = CodePage::forUserLocale();
    // Cyrillic, Greek, Polish, Chinese, an emoji, an accent as a mark of its own.
    const std::string one = tmp / "\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE/";
    std::vector<std::string> planned;
    for (const char* name : {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC", "\xC5\x82\xC3\xB3\x64\xC5\xBA",
                             "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80", "cafe\xCC\x81"}) {
        planned.push_back(tmp.file(one.substr(tmp.path().size()) + name + ".txt"));
        planned.push_back(tmp.file(one.substr(tmp.path().size()) + name + "/" + name + "-below.txt"));
    }
    tmp.file(one.substr(tmp.path().size()) + "bad\xFF.txt");
    tmp.folder("two");
    PosixFileSystem fs;
    RecordingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    NoYield noYield;
    std::size_t listed = 0;
    CompareContext context{fs, codePage, report, noYield, listed};

    const Plan plan = compareFolders(
        handler, [&] { return one; }, [&] { return tmp / "two/"; }, context);

    std::vector<std::string> sources;
    for (std::size_t row = 0; row < plan.size(); ++row)
        sources.push_back(plan.sourceText(row));
    std::sort(sources.begin(), sources.end());
    std::sort(planned.begin(), planned.end());
    EXPECT_EQ(sources, planned);
}

} // namespace
} // namespace quellomir
