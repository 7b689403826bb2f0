#include "sync/carry_out_row.h"

#include "fs/posix_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

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

// A window that takes its time: every piece of the copy waits a little, so the parent
// finds the copy half-way through.
class SlowYielder final : public Yielder {
  public:
    void tick() override { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }
};

std::int64_t sizeOf(const std::string& path) {
    struct stat facts;
    return ::stat(path.c_str(), &facts) == 0 ? facts.st_size : -1;
}

// Starts a child process that carries out row 0 of a fresh comparison of the two folders,
// waits until the child's "~" file in `watched` holds some of the copy, and kills it.
void killHalfWay(const std::string& one, const std::string& two, const std::string& watched) {
    PosixFileSystem fs;
    Plan plan = testing::comparePlan(fs, one, two);
    ASSERT_EQ(plan.size(), 1u);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SlowYielder slow;
        SyncSession session(fs, slow);
        carryOutRow(plan, 0, rowAction(plan.actionText(0)), session);
        ::_exit(0);
    }
    bool halfWay = false;
    for (int wait = 0; wait < 20'000 && !halfWay; ++wait) {
        for (const std::string& name : temporaryNamesIn(watched))
            halfWay = halfWay || sizeOf(watched + name) >= std::int64_t(8 << 20);
        if (!halfWay) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(halfWay) << "the copy was never seen half-way";
    EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(SyncKilled, ACopyKilledHalfWayLeavesNoDestinationAndOneTemporaryAtMost) {
    TempFolder tmp;
    const std::string source = tmp.file("one/big.bin", std::string(BigSize, 'x'));
    const std::string two = tmp.folder("two/");
    killHalfWay(tmp / "one/", two, two);

    EXPECT_FALSE(exists(two + "big.bin"));
    const auto temporaries = temporaryNamesIn(two);
    EXPECT_LE(temporaries.size(), 1u);
    for (const std::string& name : temporaries)
        EXPECT_LT(sizeOf(two + name), std::int64_t(BigSize)); // the partial copy is only ever under "~"
}

TEST(SyncKilled, AnOverwriteKilledHalfWayLeavesTheOlderFileAsItWas) {
    TempFolder tmp;
    const std::string older = tmp.file("two/big.bin", "older contents");
    testing::setTime(older, {1'600'000'000, 0});
    tmp.file("one/big.bin", std::string(BigSize, 'n'));
    killHalfWay(tmp / "one/", tmp / "two/", tmp / "two/");

    EXPECT_EQ(contentsOf(older), "older contents");
    EXPECT_LE(temporaryNamesIn(tmp / "two/").size(), 1u);
}

} // namespace
} // namespace quellomir
