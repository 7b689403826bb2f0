#include "sync/carry_out_row.h"
#include "sync/safe_file_copy.h"
#include "sync/sync_plan.h"

#include "files/write_folder.h"
#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::exists;
using testing::namesIn;
using testing::rowTexts;
using testing::setTime;
using testing::TempFolder;
using testing::temporaryNamesIn;
using testing::timeOf;

constexpr FileTime Older{1'600'000'000, 111'111'111};
constexpr FileTime Newer{1'600'000'500, 222'222'222};

bool sameTime(FileTime a, FileTime b) {
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

std::string actionOf(const Plan& plan, const std::string& source) {
    for (std::size_t row = 0; row < plan.size(); ++row)
        if (plan.sourceText(row) == source) return plan.actionText(row);
    return "no row for " + source;
}

class SyncRowsTest : public ::testing::Test {
  protected:
    TempFolder tmp;
    PosixFileSystem fs;
    NoYield noYield;
    const std::string one = tmp.folder("one/");
    const std::string two = tmp.folder("two/");

    std::string file(const std::string& relative, const std::string& contents, FileTime time) {
        return testing::withTime(tmp.file(relative, contents), time);
    }
    Plan compare() { return testing::comparePlan(fs, one, two); }
    void sync(Plan& plan, FileSystem& through) {
        SyncSession session(through, noYield);
        syncPlan(plan, session);
    }
};

TEST_F(SyncRowsTest, CopyAndOverwriteRowsEndToEndThenTheNextComparisonFindsNothing) {
    file("one/a.txt", "a from one", Older);
    file("one/Sub/b.txt", "b from a subfolder", Newer);
    file("one/shared.txt", "newer shared", Newer);
    file("two/c.txt", "c from two", Older);
    const std::string olderShared = file("two/Deep/shared.txt", "older shared", Older);
    testing::setMode(olderShared, 0444);

    Plan plan = compare();
    ASSERT_EQ(plan.size(), 4u) << ::testing::PrintToString(rowTexts(plan));
    sync(plan, fs);

    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << plan.sourceText(row);
    EXPECT_EQ(contentsOf(two + "a.txt"), "a from one");
    EXPECT_EQ(contentsOf(two + "b.txt"), "b from a subfolder"); // into the top folder
    EXPECT_EQ(contentsOf(one + "c.txt"), "c from two");
    EXPECT_EQ(contentsOf(olderShared), "newer shared");
    EXPECT_TRUE(sameTime(timeOf(two + "b.txt"), Newer));
    EXPECT_TRUE(sameTime(timeOf(olderShared), Newer));
    EXPECT_FALSE(exists(two + "Sub"));
    EXPECT_TRUE(temporaryNamesIn(one).empty());
    EXPECT_TRUE(temporaryNamesIn(two).empty());

    EXPECT_EQ(rowTexts(compare()), std::vector<std::string>{});
}

TEST_F(SyncRowsTest, UntickedRowsAndRowsOfNeitherActionAreLeftAlone) {
    file("one/a.txt", "a", Older);
    file("one/b.txt", "b", Older);
    file("one/c.txt", "c", Older);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 3u);
    plan.rows()[0].checked = false;
    plan.markDone(1); // its text now reads "Done": neither a copy nor an overwrite
    const std::vector<std::string> copied{plan.sourceText(2).substr(one.size())};

    sync(plan, fs);
    EXPECT_EQ(plan.rows()[0].outcome, Outcome::Pending);
    EXPECT_EQ(plan.actionText(0), " will be copied to");
    EXPECT_EQ(plan.actionText(2), "Done");
    EXPECT_EQ(namesIn(two), copied);

    SyncSession session(fs, noYield);
    EXPECT_EQ(carryOutRow(plan, 1, RowAction::Neither, session).reason, NeitherReason);
    EXPECT_EQ(namesIn(two), copied);
}

TEST_F(SyncRowsTest, AFileThatAppearedSinceTheComparisonIsNotReplaced) {
    file("one/a.txt", "planned copy", Newer);
    file("one/b.txt", "planned copy", Newer);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 2u);
    file("two/a.txt", "appeared meanwhile", Older);
    tmp.link("two/b.txt", tmp / "nowhere"); // a link of that name is a file of that name

    sync(plan, fs);
    EXPECT_EQ(actionOf(plan, one + "a.txt"), "Failed: " + std::string(AppearedReason));
    EXPECT_EQ(actionOf(plan, one + "b.txt"), "Failed: " + std::string(AppearedReason));
    EXPECT_EQ(contentsOf(two + "a.txt"), "appeared meanwhile");
    EXPECT_FALSE(exists(tmp / "nowhere"));
    EXPECT_TRUE(temporaryNamesIn(two).empty());
}

// Someone saving a file of that name while the copy is under way.
class AppearingYielder final : public Yielder {
  public:
    explicit AppearingYielder(std::string path) : m_path(std::move(path)) {}
    void tick() override {
        if (!m_path.empty()) std::ofstream(m_path) << "appeared during the copy";
        m_path.clear();
    }

  private:
    std::string m_path;
};

TEST_F(SyncRowsTest, AFileThatAppearsDuringTheCopyIsNotReplaced) {
    file("one/big.bin", std::string(20 << 20, 'b'), Newer);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 1u);
    AppearingYielder appearing(two + "big.bin");
    SyncSession session(fs, appearing);

    const CopyResult result = carryOutRow(plan, 0, RowAction::Copy, session);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.reason, AppearedReason);
    EXPECT_EQ(contentsOf(two + "big.bin"), "appeared during the copy");
    EXPECT_EQ(namesIn(two), std::vector<std::string>{"big.bin"});
}

TEST_F(SyncRowsTest, AnOverwriteWhoseFilesChangedSinceTheComparisonIsNotCarriedOut) {
    file("one/source-touched.txt", "new", Newer);
    file("two/source-touched.txt", "old", Older);
    file("one/destination-touched.txt", "new", Newer);
    file("two/destination-touched.txt", "old", Older);
    file("one/destination-gone.txt", "new", Newer);
    file("two/destination-gone.txt", "old", Older);
    file("one/unchanged.txt", "new", Newer);
    file("two/unchanged.txt", "old", Older);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 4u);

    // A nanosecond is a change: the comparison's second would not see it.
    setTime(one + "source-touched.txt", {Newer.seconds, Newer.nanoseconds + 1});
    file("two/destination-touched.txt", "edited meanwhile", {Older.seconds, Older.nanoseconds + 1});
    ASSERT_EQ(::unlink((two + "destination-gone.txt").c_str()), 0);

    sync(plan, fs);
    const std::string changed = "Failed: " + std::string(ChangedReason);
    EXPECT_EQ(actionOf(plan, one + "source-touched.txt"), changed);
    EXPECT_EQ(actionOf(plan, one + "destination-touched.txt"), changed);
    EXPECT_EQ(actionOf(plan, one + "destination-gone.txt"), changed);
    EXPECT_EQ(actionOf(plan, one + "unchanged.txt"), "Done");
    EXPECT_EQ(contentsOf(two + "source-touched.txt"), "old");
    EXPECT_EQ(contentsOf(two + "destination-touched.txt"), "edited meanwhile");
    EXPECT_FALSE(exists(two + "destination-gone.txt"));
    EXPECT_EQ(contentsOf(two + "unchanged.txt"), "new");
}

TEST_F(SyncRowsTest, TwoCopyRowsWithOneDestinationBothCopyAndTheLaterReplacesTheEarlier) {
    file("one/x/dup.txt", "first", Older);
    file("one/y/dup.txt", "second", Newer);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 2u);
    const std::string later = plan.sourceText(1);

    sync(plan, fs);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(plan.actionText(1), "Done");
    EXPECT_EQ(contentsOf(two + "dup.txt"), contentsOf(later));
    EXPECT_TRUE(sameTime(timeOf(two + "dup.txt"), timeOf(later)));
    EXPECT_EQ(namesIn(two), std::vector<std::string>{"dup.txt"});
}

TEST_F(SyncRowsTest, ACopyIntoAFolderRemovedSinceTheComparisonFailsAndCreatesNothing) {
    file("one/a.txt", "a", Older);
    Plan plan = compare();
    ASSERT_EQ(::rmdir(two.c_str()), 0);

    sync(plan, fs);
    EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(DestinationFolderMissingReason));
    EXPECT_FALSE(exists(two));
}

TEST_F(SyncRowsTest, AMissingSourceIsReportedAsMissing) {
    file("one/a.txt", "a", Older);
    file("one/b.txt", "new", Newer);
    file("two/b.txt", "old", Older);
    Plan plan = compare();
    ASSERT_EQ(::unlink((one + "a.txt").c_str()), 0);
    ASSERT_EQ(::unlink((one + "b.txt").c_str()), 0);

    sync(plan, fs);
    EXPECT_EQ(actionOf(plan, one + "a.txt"), "Failed: " + std::string(SourceMissingReason));
    EXPECT_EQ(actionOf(plan, one + "b.txt"), "Failed: " + std::string(SourceMissingReason));
    EXPECT_EQ(contentsOf(two + "b.txt"), "old");
}

TEST_F(SyncRowsTest, OnACaseBlindDriveNamesDifferingOnlyInCaseDoNotReplaceEachOther) {
    file("one/Readme.txt", "upper R", Older);
    file("one/sub/README.TXT", "all upper", Newer);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 2u);

    testing::FakeDrive caseBlind(fs, {.caseBlind = true});
    sync(plan, caseBlind);
    EXPECT_EQ(actionOf(plan, one + "Readme.txt"), "Done");
    EXPECT_EQ(actionOf(plan, one + "sub/README.TXT"), "Failed: " + std::string(CaseBlindReason));
    EXPECT_EQ(namesIn(two), std::vector<std::string>{"Readme.txt"});
    EXPECT_EQ(contentsOf(two + "Readme.txt"), "upper R");
}

TEST_F(SyncRowsTest, WhatChangesDuringTheCopyIsKeptAndTheRowFails) {
    struct Case {
        const char* what;
        const char* changed; // the file written to during the copy, in one/ or two/
        bool overwrite;
        std::string_view reason;
    };
    for (const Case& c : {Case{"destination edited", "two/x.txt", true, ChangedReason},
                          Case{"source grown", "one/x.txt", false, ChangedWhileCopiedReason},
                          Case{"source rewritten", "one/x.txt", true, ChangedWhileCopiedReason}}) {
        TempFolder here;
        testing::setTime(here.file("one/x.txt", "new"), Newer);
        here.folder("two");
        if (c.overwrite) testing::setTime(here.file("two/x.txt", "old"), Older);
        Plan plan = testing::comparePlan(fs, here / "one/", here / "two/");
        ASSERT_EQ(plan.size(), 1u) << c.what;
        // Someone editing, growing or replacing a file while a long copy is under way: once
        // the copy is complete, before it takes its name.
        testing::FakeDrive changing(fs);
        const std::string changed = here / c.changed;
        changing.after(testing::FakeDrive::Call::CopyToNewFile,
                       [&](const std::string&) { std::ofstream(changed, std::ios::app) << " and more"; });
        sync(plan, changing);

        EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(c.reason)) << c.what;
        // The destination as it was, or as its editor left it; never a short copy.
        const std::string destination = c.changed[0] == 't' ? "old and more" : "old";
        if (c.overwrite) {
            EXPECT_EQ(contentsOf(here / "two/x.txt"), destination) << c.what;
        } else {
            EXPECT_FALSE(exists(here / "two/x.txt")) << c.what;
        }
        EXPECT_TRUE(temporaryNamesIn(here / "two/").empty()) << c.what;
    }
}

TEST_F(SyncRowsTest, ASourceSwappedForALinkIsNotReadThrough) {
    file("one/a.txt", "planned", Newer);
    file("one/b.txt", "planned", Newer);
    file("two/b.txt", "older", Older);
    Plan plan = compare();
    ASSERT_EQ(plan.size(), 2u);
    // Even with the time the comparison saw, a link where a file was is not that file.
    const std::string secret = file("secret.txt", "not to be copied", Newer);
    for (const char* name : {"a.txt", "b.txt"}) {
        ASSERT_EQ(::unlink((one + name).c_str()), 0);
        tmp.link(std::string("one/") + name, secret);
    }

    sync(plan, fs);
    EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(ChangedReason));
    EXPECT_EQ(plan.actionText(1), "Failed: " + std::string(ChangedReason));
    EXPECT_FALSE(exists(two + "a.txt"));
    EXPECT_EQ(contentsOf(two + "b.txt"), "older");
}

TEST_F(SyncRowsTest, NothingIsWrittenOutsideTheChosenFolders) {
    // A link in Folder 2 to a folder elsewhere: the scan reads through it, the sync writes
    // nothing there.
    const std::string outside = file("elsewhere/x.txt", "outside, older", Older);
    tmp.link("two/shared", tmp / "elsewhere");
    file("one/x.txt", "newer", Newer);
    file("one/y.txt", "copy", Newer);
    Plan plan = compare();
    Plan stale = compare();
    ASSERT_EQ(plan.size(), 2u) << ::testing::PrintToString(rowTexts(plan));
    sync(plan, fs);
    EXPECT_EQ(actionOf(plan, one + "x.txt"), "Failed: the destination lies outside Folder 2");
    EXPECT_EQ(actionOf(plan, one + "y.txt"), "Done");
    EXPECT_EQ(contentsOf(outside), "outside, older");

    // Folder 2 itself swapped for a link to another folder after the comparison.
    ASSERT_EQ(::rename(two.c_str(), (tmp / "two-moved").c_str()), 0);
    const std::string swapped = tmp.folder("swapped-in");
    tmp.link("two", swapped);
    sync(stale, fs);
    EXPECT_EQ(actionOf(stale, one + "y.txt"), "Failed: the destination lies outside Folder 2");
    EXPECT_TRUE(namesIn(swapped).empty());
}

TEST_F(SyncRowsTest, SetUserAndGroupIdBitsAreKeptOnlyForTheSourcesOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file another owner";
    const std::string others = file("one/others-program", "#!", Newer);
    ASSERT_EQ(::chown(others.c_str(), 1234, 1234), 0);
    testing::setMode(others, 06755);
    const std::string own = file("one/own-program", "#!", Newer);
    testing::setMode(own, 06755);
    Plan plan = compare();
    sync(plan, fs);
    EXPECT_EQ(testing::modeOf(two + "others-program"), 0755u); // now root's: no set-ID bits
    EXPECT_EQ(testing::modeOf(two + "own-program"), 06755u);
}

// Gives a folder only as one that can be written into but not read (mode -wx), which the
// program, as root, would otherwise always read.
class UnreadableFolders final : public testing::ForwardingFileSystem {
  public:
    UnreadableFolders(FileSystem& inner, std::string below)
        : ForwardingFileSystem(inner), m_below(std::move(below)) {}
    int openFolder(const Handle* at, const std::string& name, Follow follow, FolderAccess access,
                   Handle& folder) override {
        const bool unreadable = !at && access == FolderAccess::List && name.starts_with(m_below);
        return unreadable ? EACCES : m_inner.openFolder(at, name, follow, access, folder);
    }

  private:
    std::string m_below;
};

TEST_F(SyncRowsTest, AFolderThatCanBeWrittenButNotReadIsSyncedAndFlushed) {
    file("one/new.txt", "copy", Newer);
    file("one/x.txt", "newer", Newer);
    file("two/x.txt", "older", Older);
    Plan plan = compare();
    UnreadableFolders unreadable(fs, two);
    sync(plan, unreadable);
    for (std::size_t row = 0; row < plan.size(); ++row)
        EXPECT_EQ(plan.actionText(row), "Done") << row;
    EXPECT_TRUE(sameTime(timeOf(two + "new.txt"), Newer)); // given its time after the flush
    EXPECT_EQ(contentsOf(two + "x.txt"), "newer");
}

} // namespace
} // namespace quellomir
