#include "sync/carry_out_row.h"
#include "sync/copy_file_overwrite.h"
#include "sync/sync_plan.h"

#include "fs/posix_file_system.h"
#include "support/compare_lists.h"
#include "support/faulty_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::FaultyFileSystem;
using testing::rowTexts;
using testing::setTime;
using testing::TempFolder;
using testing::temporaryNamesIn;
using testing::timeOf;
using Op = FaultyFileSystem::Operation;

constexpr FileTime Older{1'600'000'000, 111'111'111};
constexpr FileTime Newer{1'600'000'500, 222'222'222};

::testing::AssertionResult hasTime(const std::string& path, FileTime expected) {
    const FileTime actual = timeOf(path);
    if (actual.seconds == expected.seconds && actual.nanoseconds == expected.nanoseconds)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " has " << actual.seconds << "." << actual.nanoseconds
                                         << ", not " << expected.seconds << "." << expected.nanoseconds;
}

class CountingYielder final : public Yielder {
  public:
    void tick() override { ++ticks; }
    int ticks = 0;
};

struct Closed {}; // the window's cancellation is no std::exception either

class ClosingYielder final : public Yielder {
  public:
    void tick() override { throw Closed{}; }
};

class SyncSessionTest : public ::testing::Test {
  protected:
    TempFolder tmp;
    PosixFileSystem posix;
    CountingYielder yielder;
    const std::string one = tmp.folder("one/");
    const std::string two = tmp.folder("two/");

    std::string file(const std::string& relative, const std::string& contents, FileTime time) {
        const std::string path = tmp.file(relative, contents);
        setTime(path, time);
        return path;
    }
    // Carries out a row and marks it, as the window's handler does.
    void carryOut(Plan& plan, std::size_t row, SyncSession& session) {
        CopyResult result = carryOutRow(plan, row, rowAction(plan.actionText(row)), session);
        result.done ? plan.markDone(row) : plan.markFailed(row, result.reason);
    }
};

TEST_F(SyncSessionTest, ACopyToAFreeNameLooksOlderUntilItsGroupIsFlushed) {
    file("one/a.txt", "a", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    SyncSession session(posix, yielder);

    carryOut(plan, 0, session);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(contentsOf(two + "a.txt"), "a");
    EXPECT_TRUE(hasTime(two + "a.txt", provisionalTime(Newer)));
    // Were the run cut short here, the next comparison would copy it again.
    EXPECT_EQ(rowTexts(testing::comparePlan(posix, one, two)),
              std::vector<std::string>{one + "a.txt| will overwrite an older|" + two + "a.txt"});

    session.flush(plan);
    EXPECT_TRUE(hasTime(two + "a.txt", Newer));
    EXPECT_EQ(plan.actionText(0), "Done");
}

TEST_F(SyncSessionTest, AFailingFlushMarksTheRowsOfItsGroupFailedAndKeepsThemLookingOlder) {
    file("one/a.txt", "a", Newer);
    file("one/b.txt", "b", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    FaultyFileSystem fs(posix);
    fs.failCall(Op::SyncFileSystem, 1, EIO);
    SyncSession session(fs, yielder);

    syncPlan(plan, session);
    EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(std::strerror(EIO)));
    EXPECT_EQ(plan.actionText(1), "Failed: " + std::string(std::strerror(EIO)));
    EXPECT_TRUE(hasTime(two + "a.txt", provisionalTime(Newer)));
    EXPECT_TRUE(hasTime(two + "b.txt", provisionalTime(Newer)));
}

TEST_F(SyncSessionTest, AFailureToGiveTheTimeOrToFlushItMarksTheRowFailed) {
    for (Op failing : {Op::SetModified, Op::SyncFileSystem}) {
        TempFolder here;
        const std::string source = here.file("one/a.txt", "a");
        setTime(source, Newer);
        here.folder("two");
        Plan plan = testing::comparePlan(posix, here / "one/", here / "two/");
        FaultyFileSystem fs(posix);
        // The copy sets the provisional time (the first call), the flush the final one;
        // the flush of the file system runs once for the data, once for the times.
        fs.failCall(failing, 2, EIO);
        SyncSession session(fs, yielder);

        syncPlan(plan, session);
        EXPECT_EQ(plan.actionText(0), "Failed: " + std::string(std::strerror(EIO))) << int(failing);
    }
}

TEST_F(SyncSessionTest, AFullGroupIsFlushedBeforeTheNextCopy) {
    const std::string big = file("one/big.bin", "", Newer);
    ASSERT_EQ(::truncate(big.c_str(), 64 << 20), 0);
    setTime(big, Newer);
    file("one/small.txt", "s", Newer);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 2u);
    const std::size_t bigRow = plan.sourceText(0) == big ? 0 : 1;
    SyncSession session(posix, yielder);

    carryOut(plan, bigRow, session);
    EXPECT_TRUE(hasTime(two + "big.bin", provisionalTime(Newer)));
    carryOut(plan, 1 - bigRow, session);
    EXPECT_TRUE(hasTime(two + "big.bin", Newer));
    EXPECT_TRUE(hasTime(two + "small.txt", provisionalTime(Newer)));
}

// Plans the comparison would not make, to reach the rule that what an earlier row wrote
// counts as planned: a copy row to two/x.txt, then overwrite rows from it and onto it.
TEST_F(SyncSessionTest, AFileAnEarlierRowWroteCountsAsPlannedAndCarriesItsFinalTime) {
    file("one/x.txt", "from one", Newer);
    file("one/later/x.txt", "replaces the copy", Newer);
    file("one/sub/x.txt", "older in a subfolder", Older);
    Plan plan(
        testing::fileList({{one + "x.txt", Newer}, {one + "later/x.txt", Newer}, {one + "sub/x.txt", Older}}),
        testing::fileList({{two + "x.txt", Older}}), one, two);
    plan.appendCopyRows(Side::Folder1, {0});
    // two/x.txt, which row 0 writes, over one/sub/x.txt
    plan.rows().push_back({0, 2, 0, RowKind::Overwrite, Side::Folder2, Outcome::Pending, true});
    // one/later/x.txt over two/x.txt, whose time row 0 changed
    plan.rows().push_back({1, 0, 0, RowKind::Overwrite, Side::Folder1, Outcome::Pending, true});
    plan.setAllChecked(true);
    ASSERT_EQ(plan.sourceText(1), two + "x.txt");
    ASSERT_EQ(plan.destinationText(1), one + "sub/x.txt");
    ASSERT_EQ(plan.destinationText(2), two + "x.txt");

    SyncSession session(posix, yielder);
    syncPlan(plan, session);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(plan.actionText(1), "Done");
    EXPECT_EQ(plan.actionText(2), "Done");
    EXPECT_EQ(contentsOf(one + "sub/x.txt"), "from one");
    EXPECT_TRUE(hasTime(one + "sub/x.txt", Newer)); // not the provisional time of its source
    EXPECT_EQ(contentsOf(two + "x.txt"), "replaces the copy");
}

TEST_F(SyncSessionTest, TheWindowGetsItsTurnDuringALongCopyAndClosingItLeavesNoTemporary) {
    file("one/big.bin", std::string(40 << 20, 'b'), Newer);
    const std::string older = file("two/big.bin", "older", Older);
    Plan plan = testing::comparePlan(posix, one, two);
    ASSERT_EQ(plan.size(), 1u);

    ClosingYielder closing;
    SyncSession closed(posix, closing);
    EXPECT_THROW(carryOutRow(plan, 0, RowAction::Overwrite, closed), Closed);
    EXPECT_EQ(contentsOf(older), "older");
    EXPECT_TRUE(temporaryNamesIn(two).empty());

    SyncSession session(posix, yielder);
    carryOut(plan, 0, session);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_GE(yielder.ticks, 4); // 40 MB in pieces of 8
}

} // namespace
} // namespace quellomir
