#include "sync/keep_in_trash.h"
#include "sync/sync_plan.h"

#include "fs/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/forwarding_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::exists;
using testing::namesIn;
using testing::TempFolder;
using Op = testing::FaultyFileSystem::Operation;

constexpr FileTime Older{1'600'000'000, 0};
constexpr FileTime Newer{1'600'000'500, 0};

// An overwrite of "x é.txt" from one/ into `two`, carried out through `fs`.
struct OverwriteTest : ::testing::Test {
    TempFolder tmp;
    PosixFileSystem posix;
    NoYield noYield;
    const std::string trash = std::string(std::getenv("XDG_DATA_HOME")) + "/Trash/";

    void TearDown() override {
        for (const char* folder : {"files", "info"})
            if (exists(trash + folder))
                for (const std::string& name : namesIn(trash + folder))
                    ::unlink((trash + folder + "/" + name).c_str());
    }
    Plan overwrite(const std::string& two, const std::string& older = "older") {
        testing::setTime(tmp.file("one/x é.txt", "newer"), Newer);
        testing::setTime(tmp.file(two.substr(tmp.path().size()) + "x é.txt", older), Older);
        return testing::comparePlan(posix, tmp / "one/", two);
    }
    void sync(Plan& plan, FileSystem& fs, bool keep = true) {
        SyncSession session(fs, noYield);
        session.setKeepReplacedFiles(keep);
        syncPlan(plan, session);
    }
};

TEST_F(OverwriteTest, TheReplacedFileGoesToTheHomeTrashWithItsOriginalPathUnderADistinctName) {
    for (const char* older : {"first older", "second older"}) {
        Plan plan = overwrite(tmp / "two/", older);
        sync(plan, posix);
        EXPECT_EQ(plan.actionText(0), "Done");
        EXPECT_EQ(contentsOf(tmp / "two/x é.txt"), "newer");
    }
    EXPECT_EQ(contentsOf(trash + "files/x é.txt"), "first older");
    EXPECT_EQ(contentsOf(trash + "files/x é.txt.2"), "second older");
    const std::string info = contentsOf(trash + "info/x é.txt.2.trashinfo");
    char real[PATH_MAX];
    ASSERT_TRUE(::realpath((tmp / "two").c_str(), real));
    EXPECT_TRUE(std::regex_match(
        info, std::regex("\\[Trash Info\\]\nPath=" + std::string(real) +
                         "/x%20%C3%A9.txt\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << info;
}

TEST_F(OverwriteTest, OnAnotherDriveTheReplacedFileStaysOnItInItsTopFoldersTrash) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a drive for the test needs root";
    const std::string drive = tmp.folder("drive");
    ASSERT_EQ(::mount("quellomir-test", drive.c_str(), "tmpfs", 0, "size=4m"), 0);
    tmp.folder("drive/sub");
    Plan plan = overwrite(drive + "/sub/");
    sync(plan, posix);
    EXPECT_EQ(plan.actionText(0), "Done");
    const std::string own = drive + "/.Trash-0/";
    EXPECT_EQ(contentsOf(own + "files/x é.txt"), "older");
    EXPECT_NE(contentsOf(own + "info/x é.txt.trashinfo").find("\nPath=sub/x%20%C3%A9.txt\n"),
              std::string::npos);
    EXPECT_FALSE(exists(trash + "files/x é.txt"));
    ::umount2(drive.c_str(), MNT_DETACH);
}

TEST_F(OverwriteTest, FailuresToKeepTheOlderFileLeaveTheDestinationAndTheTrashAsTheyWere) {
    struct Case {
        Op failing;
        const char* outcome;
    };
    // A drive without hard links moves the older file, and puts it back when the naming fails.
    for (const Case& c :
         {Case{Op::OpenTrash, "Failed: the older file could not be kept in the Trash: "},
          Case{Op::CreateTrashInfo, "Failed: the older file could not be kept in the Trash: "},
          Case{Op::NameNewFile, "Failed: "}}) {
        tmp.folder("two-" + std::to_string(int(c.failing)));
        Plan plan = overwrite(tmp / "two-" + std::to_string(int(c.failing)) + "/");
        testing::FaultyFileSystem fs(posix);
        fs.failCall(Op::LinkIntoTrash, 1, EPERM);
        fs.failCall(c.failing, 1, EIO);
        sync(plan, fs);
        EXPECT_EQ(plan.actionText(0), c.outcome + std::string(std::strerror(EIO))) << int(c.failing);
        EXPECT_EQ(contentsOf(plan.destinationText(0)), "older") << int(c.failing);
        for (const char* folder : {"files", "info"})
            EXPECT_TRUE(!exists(trash + folder) || namesIn(trash + folder).empty()) << int(c.failing);
    }
    // Without a link, the move still keeps it.
    Plan plan = overwrite(tmp / "two/");
    testing::FaultyFileSystem fs(posix);
    fs.failCall(Op::LinkIntoTrash, 1, EPERM);
    sync(plan, fs);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_EQ(contentsOf(trash + "files/x é.txt"), "older");
}

// Killed after the older file went into the Trash as a second link and before the copy took
// its name: that entry is the live file, no kept version. The next run removes it with the
// leftover copy, then replaces the file as planned.
class KilledBeforeTheName final : public testing::ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int nameNewFile(NewFile&, const std::string&, Replace) override { ::_exit(0); }
};

TEST_F(OverwriteTest, ARunKilledBetweenTheTrashAndTheRenameIsCleanedUpByTheNext) {
    Plan plan = overwrite(tmp / "two/");
    const std::string older = tmp / "two/x é.txt";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        KilledBeforeTheName killed(posix);
        sync(plan, killed);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(namesIn(trash + "files"), std::vector<std::string>{"x é.txt"});
    EXPECT_EQ(testing::temporaryNamesIn(tmp / "two/").size(), 1u);

    Plan again = testing::comparePlan(posix, tmp / "one/", tmp / "two/");
    sync(again, posix);
    EXPECT_EQ(again.actionText(0), "Done");
    EXPECT_TRUE(testing::temporaryNamesIn(tmp / "two/").empty());
    EXPECT_EQ(contentsOf(older), "newer");
    testing::setTime(tmp.file("two/x é.txt", "edited"), Newer); // changes no kept version
    EXPECT_EQ(namesIn(trash + "files"), std::vector<std::string>{"x é.txt"});
    EXPECT_EQ(namesIn(trash + "info"), std::vector<std::string>{"x é.txt.trashinfo"});
    EXPECT_EQ(contentsOf(trash + "files/x é.txt"), "older");
}

TEST_F(OverwriteTest, KeepingTurnedOffLetsTheOlderFileGo) {
    Plan plan = overwrite(tmp / "two/");
    sync(plan, posix, false);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_FALSE(exists(trash + "files/x é.txt"));
}

} // namespace
} // namespace quellomir
