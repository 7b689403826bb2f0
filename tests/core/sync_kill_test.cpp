#include "sync/carry_out_row.h"
#include "sync/copy_file_overwrite.h"

#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/new_file_kinds.h"
#include "support/skipping_clock.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::exists;
using testing::TempFolder;
using testing::temporaryNamesIn;

constexpr std::size_t BigSize = 64 << 20;

// A window that takes its time and tells the parent each time it gets its turn, which is
// after each piece of the copy: the parent then finds the copy half-way through.
class SlowTellingYielder final : public Yielder {
  public:
    explicit SlowTellingYielder(int tellFd) : m_tellFd(tellFd) {}
    void tick() override {
        const char piece = 'p';
        if (::write(m_tellFd, &piece, 1) != 1) ::_exit(3);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

  private:
    int m_tellFd;
};

std::int64_t sizeOf(const std::string& path) {
    struct stat facts;
    return ::stat(path.c_str(), &facts) == 0 ? facts.st_size : -1;
}

class SyncKilled : public ::testing::TestWithParam<PosixFileSystem::NewFiles> {
  protected:
    testing::SkippingClock clock;
    TempFolder tmp;
    PosixFileSystem fs{GetParam()};

    bool named() { return testing::hasTildeNames(GetParam(), tmp.folder("two")); }

    // Starts a child process that carries out row 0 of a fresh comparison of the two
    // folders, waits until the child has copied a piece of it, and kills it.
    void killHalfWay(const std::string& one, const std::string& two) {
        Plan plan = testing::comparePlan(fs, one, two);
        ASSERT_EQ(plan.size(), 1u);
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            SlowTellingYielder slow(pipeFds[1]);
            SyncSession session(fs, slow);
            carryOutRow(plan, 0, rowAction(plan.actionText(0)), session);
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        pollfd told{pipeFds[0], POLLIN, 0};
        const bool halfWay = ::poll(&told, 1, 20'000) == 1 && (told.revents & POLLIN) != 0;
        ::kill(child, SIGKILL);
        ::close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(halfWay) << "the copy was never seen half-way";
        EXPECT_TRUE(WIFSIGNALED(status));
    }
};

INSTANTIATE_TEST_SUITE_P(BothKinds, SyncKilled, testing::bothNewFileKinds(), testing::newFileKindName);

TEST_P(SyncKilled, ACopyKilledHalfWayLeavesNoDestinationAndOneTemporaryAtMost) {
    tmp.file("one/big.bin", std::string(BigSize, 'x'));
    const std::string two = tmp.folder("two/");
    killHalfWay(tmp / "one/", two);

    EXPECT_FALSE(exists(two + "big.bin"));
    const auto temporaries = temporaryNamesIn(two);
    EXPECT_LE(temporaries.size(), named() ? 1u : 0u);
    for (const std::string& name : temporaries)
        EXPECT_LT(sizeOf(two + name), std::int64_t(BigSize)); // the partial copy is only ever under "~"

    // The next run removes what the killed one left, and makes the copy.
    Plan plan = testing::comparePlan(fs, tmp / "one/", two);
    NoYield noYield;
    SyncSession session(fs, noYield);
    EXPECT_TRUE(carryOutRow(plan, 0, RowAction::Copy, session).done);
    EXPECT_TRUE(temporaryNamesIn(two).empty());
    EXPECT_EQ(sizeOf(two + "big.bin"), std::int64_t(BigSize));
}

TEST_P(SyncKilled, AnOverwriteKilledHalfWayLeavesTheOlderFileAsItWas) {
    const std::string older = tmp.file("two/big.bin", "older contents");
    testing::setTime(older, {1'600'000'000, 0});
    tmp.file("one/big.bin", std::string(BigSize, 'n'));
    killHalfWay(tmp / "one/", tmp / "two/");

    EXPECT_EQ(contentsOf(older), "older contents");
    EXPECT_LE(temporaryNamesIn(tmp / "two/").size(), named() ? 1u : 0u);
}

TEST(SyncKilledAfterARename, TheNextSyncGivesTheCopyItsOlderTimeBeforeAnyRow) {
    TempFolder tmp;
    testing::setTime(tmp.file("one/a.txt", "a"), {1'600'000'000, 0});
    const std::string two = tmp.folder("two/");
    PosixFileSystem named(PosixFileSystem::NewFiles::AlwaysNamed);
    Plan plan = testing::comparePlan(named, tmp / "one/", two);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A drive that gives a renamed file the current time, as fusefat does, and a run
        // killed right after the rename, before the copy got its older time back.
        testing::FakeDrive stamping(named, {.stampsRenames = true});
        stamping.after(testing::FakeDrive::Call::NameNewFile, [](const std::string&) { ::_exit(0); });
        NoYield noYield;
        SyncSession session(stamping, noYield);
        carryOutRow(plan, 0, RowAction::Copy, session);
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_GT(testing::timeOf(two + "a.txt").seconds, 1'600'000'000); // newer than its source
    ASSERT_EQ(temporaryNamesIn(two).size(), 1u);                      // and the note of its time

    // The comparison takes the note's time already: the copy is to be finished, never copied
    // back over its source.
    Plan next = testing::comparePlan(named, tmp / "one/", two);
    EXPECT_EQ(testing::rowTexts(next),
              std::vector<std::string>{tmp / "one/a.txt" + "| will overwrite an older|" + two + "a.txt"});
    NoYield noYield;
    SyncSession session(named, noYield);
    session.finishEarlierRuns(next);
    EXPECT_EQ(testing::timeOf(two + "a.txt").seconds, provisionalTime({1'600'000'000, 0}).seconds);
    EXPECT_TRUE(temporaryNamesIn(two).empty());
}

} // namespace
} // namespace quellomir
