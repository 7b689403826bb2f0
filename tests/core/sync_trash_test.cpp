#include "sync/keep_in_trash.h"
#include "sync/sync_plan.h"

#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/pinned_environment.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
        if (!drive.empty()) ::umount2(drive.c_str(), MNT_DETACH);
    }
    Plan overwrite(const std::string& two, const std::string& older = "older",
                   const std::string& name = "x é.txt") {
        testing::setTime(tmp.file("one/" + name, "newer"), Newer);
        testing::setTime(tmp.file(two.substr(tmp.path().size()) + name, older), Older);
        return testing::comparePlan(posix, tmp / "one/", two);
    }
    // A fresh tmpfs at `drive`, holding "sub/"; false where the test may not mount one.
    bool mountDrive() {
        if (!drive.empty()) ::umount2(drive.c_str(), MNT_DETACH);
        drive = tmp.folder("drive");
        return ::geteuid() == 0 && ::mount("quellomir-test", drive.c_str(), "tmpfs", 0, "size=4m") == 0 &&
               !tmp.folder("drive/sub").empty();
    }
    std::string drive;
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

// A name of 255 bytes leaves no room for ".trashinfo" or ".2": its Trash names are cut short,
// never inside a character, and the info file keeps the whole name.
TEST_F(OverwriteTest, ALongNameIsKeptUnderAShortenedNameAgainAndAgain) {
    const std::string name = std::string(244, 'b') + "é-long.txt"; // é at bytes 244 and 245
    for (const char* older : {"first older", "second older"}) {
        Plan plan = overwrite(tmp / "two/", older, name);
        sync(plan, posix);
        EXPECT_EQ(plan.actionText(0), "Done");
    }
    EXPECT_EQ(namesIn(trash + "files"), (std::vector{name.substr(0, 243) + ".2", name.substr(0, 244)}));
    EXPECT_NE(contentsOf(trash + "info/" + name.substr(0, 243) + ".2.trashinfo").find("b%C3%A9-long.txt\n"),
              std::string::npos);
}

TEST_F(OverwriteTest, OnAnotherDriveTheReplacedFileStaysOnItInItsTopFoldersTrash) {
    if (!mountDrive()) GTEST_SKIP() << "mounting a drive for the test needs root";
    Plan plan = overwrite(drive + "/sub/");
    sync(plan, posix);
    EXPECT_EQ(plan.actionText(0), "Done");
    const std::string own = drive + "/.Trash-0/";
    EXPECT_EQ(contentsOf(own + "files/x é.txt"), "older");
    EXPECT_NE(contentsOf(own + "info/x é.txt.trashinfo").find("\nPath=sub/x%20%C3%A9.txt\n"),
              std::string::npos);
    EXPECT_FALSE(exists(trash + "files/x é.txt"));
}

// A Trash folder of the drive's that another user made, that is a link or that others may
// enter is passed over: .Trash/0 for .Trash-0, and that for a copy in the home Trash.
TEST_F(OverwriteTest, ADrivesTrashIsUsedOnlyWhenItIsTheUsersAlone) {
    struct Case {
        const char* planted;
        uid_t owner;
        mode_t mode;
        std::string used;
    };
    for (const Case& c : {Case{".Trash/0", 1234, 0700, "/.Trash-0/"}, Case{".Trash/0", 0, 0755, "/.Trash-0/"},
                          Case{".Trash/0 link", 0, 0700, "/.Trash-0/"},
                          Case{".Trash/0", 0, 0700, "/.Trash/0/"}, Case{".Trash-0", 1234, 0700, trash}}) {
        if (!mountDrive()) GTEST_SKIP() << "mounting a drive for the test needs root";
        if (std::string_view(c.planted).starts_with(".Trash/"))
            ::chmod(tmp.folder("drive/.Trash").c_str(), 01777);
        const std::string own = std::string_view(c.planted).ends_with("link")
                                    ? tmp.link("drive/.Trash/0", tmp.folder("elsewhere"))
                                    : tmp.folder("drive/" + std::string(c.planted));
        ASSERT_EQ(::lchown(own.c_str(), c.owner, 0) | ::chmod(own.c_str(), c.mode), 0);
        Plan plan = overwrite(drive + "/sub/");
        sync(plan, posix);
        EXPECT_EQ(plan.actionText(0), "Done");
        const std::string used = c.used == trash ? trash : drive + c.used;
        EXPECT_EQ(contentsOf(used + "files/x é.txt"), "older") << c.planted << " " << c.owner;
        EXPECT_NE(contentsOf(used + "info/x é.txt.trashinfo").find("sub/x%20%C3%A9.txt\n"),
                  std::string::npos);
    }
}

// Root with a user's HOME and XDG_DATA_HOME (sudo -E) makes nothing in that home.
TEST_F(OverwriteTest, RootWithAUsersHomeMakesNothingThere) {
    if (!mountDrive()) GTEST_SKIP() << "mounting a drive for the test needs root";
    const std::string home = tmp.folder("drive/home");
    ASSERT_EQ(::chown(home.c_str(), 1234, 1234), 0);
    testing::PinnedEnvironment homeSet("HOME", home.c_str());
    testing::PinnedEnvironment dataSet("XDG_DATA_HOME", (home + "/.local/share").c_str());
    Plan plan = overwrite(drive + "/sub/");
    sync(plan, posix);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_TRUE(namesIn(home).empty());
}

// A top folder the user may not write, and a home Trash that fails too: the reason names both.
TEST_F(OverwriteTest, WhenNoTrashCanKeepTheOlderFileTheReasonNamesTheTrashFoldersTried) {
    if (!mountDrive()) GTEST_SKIP() << "mounting a drive for the test needs root";
    Plan plan = overwrite(drive + "/sub/");
    testing::FaultyFileSystem fs(posix);
    fs.failPath(Op::MakeFolder, drive + "/.Trash-0", EACCES);
    fs.failPath(Op::OpenFolder, trash.substr(0, trash.size() - 1), ENOSPC);
    sync(plan, fs);
    EXPECT_EQ(plan.actionText(0), "Failed: the older file could not be kept in the Trash: " + drive +
                                      "/.Trash-0 \u2014 Permission denied, nor in " +
                                      trash.substr(0, trash.size() - 1) + " \u2014 No space left on device");
    EXPECT_EQ(contentsOf(drive + "/sub/x é.txt"), "older");
}

TEST_F(OverwriteTest, FailuresToKeepTheOlderFileLeaveTheDestinationAndTheTrashAsTheyWere) {
    struct Case {
        Op failing;
        std::string outcome;
        std::string path{}; // where the failing call is made, if not on the first call
    };
    const std::string notKept =
        "Failed: the older file could not be kept in the Trash: " + trash.substr(0, trash.size() - 1) +
        " \u2014 ";
    // A drive without hard links moves the older file, and puts it back when the naming fails.
    for (const Case& c : {Case{Op::OpenFolder, notKept, trash.substr(0, trash.size() - 1)},
                          Case{Op::CreateTrashInfo, notKept}, Case{Op::NameNewFile, "Failed: "}}) {
        tmp.folder("two-" + std::to_string(int(c.failing)));
        Plan plan = overwrite(tmp / "two-" + std::to_string(int(c.failing)) + "/");
        testing::FaultyFileSystem fs(posix);
        fs.failCall(Op::LinkIntoTrash, 1, EPERM);
        if (c.path.empty())
            fs.failCall(c.failing, 1, EIO);
        else
            fs.failPath(c.failing, c.path, EIO);
        sync(plan, fs);
        EXPECT_EQ(plan.actionText(0), c.outcome + std::strerror(EIO)) << int(c.failing);
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
TEST_F(OverwriteTest, ARunKilledBetweenTheTrashAndTheRenameIsCleanedUpByTheNext) {
    Plan plan = overwrite(tmp / "two/");
    const std::string older = tmp / "two/x é.txt";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        testing::FakeDrive killed(posix);
        killed.before(testing::FakeDrive::Call::NameNewFile, [](const std::string&) { ::_exit(0); });
        sync(plan, killed);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(namesIn(trash + "files"), std::vector<std::string>{"x é.txt"});
    // The copy, and the note of its time: the drive's renames are not known yet.
    EXPECT_EQ(testing::temporaryNamesIn(tmp / "two/").size(), 2u);

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

// A run stopped before its flush leaves copies at their provisional time; the next run
// finishes them where they are (their flush, their source's time), written again never, on
// drives that round that time to 2 seconds too. A file at another size, or a version of the
// user's a little older, is kept. Another user's file of the same bytes and age is no copy of
// this user's run, nor is a file with a second name (the run's copies have one): it is
// replaced, not given a time, which its other name would show too (nothing of it is lost).
TEST_F(OverwriteTest, ACopyThatAStoppedRunLeftIsFinishedWithoutKeepingIt) {
    const FileTime source{Newer.seconds, 123'456'789};
    const FileTime left = provisionalTime(source);
    struct Case {
        std::string there;
        FileTime time;
        bool kept;
        bool anotherUsers = false;
        bool linked = false;
    };
    for (const Case& c : {Case{"newer", left, false}, Case{"newer", {left.seconds / 2 * 2, 0}, false},
                          Case{"newe", left, true}, Case{"newer", {source.seconds - 2, 0}, true},
                          Case{"newer", left, false, true}, Case{"newer", left, false, false, true}}) {
        if (c.anotherUsers && ::geteuid() != 0) continue;
        testing::setTime(tmp.file("one/x é.txt", "newer"), source);
        testing::setTime(tmp.file("two/x é.txt", c.there), c.time);
        if (c.anotherUsers) {
            ASSERT_EQ(::chown((tmp / "two/x é.txt").c_str(), 65534, 65534), 0);
        }
        if (c.linked) {
            ASSERT_EQ(::link((tmp / "two/x é.txt").c_str(), (tmp / "elsewhere.txt").c_str()), 0);
        }
        struct stat left;
        ::stat((tmp / "two/x é.txt").c_str(), &left);
        Plan plan = testing::comparePlan(posix, tmp / "one/", tmp / "two/");
        sync(plan, posix);
        EXPECT_EQ(plan.actionText(0), "Done");
        EXPECT_EQ(exists(trash + "files/x é.txt"), c.kept) << c.there << " " << c.time.seconds;
        struct stat now;
        ::stat((tmp / "two/x é.txt").c_str(), &now);
        EXPECT_EQ(now.st_ino == left.st_ino, !c.kept && !c.anotherUsers && !c.linked)
            << c.there << " " << c.time.seconds;
        if (c.linked) {
            ::stat((tmp / "elsewhere.txt").c_str(), &now);
            EXPECT_EQ(now.st_mtim.tv_sec, c.time.seconds);
        }
        EXPECT_TRUE(testing::rowTexts(testing::comparePlan(posix, tmp / "one/", tmp / "two/")).empty());
        TearDown();
    }
}

TEST_F(OverwriteTest, KeepingTurnedOffLetsTheOlderFileGo) {
    Plan plan = overwrite(tmp / "two/");
    sync(plan, posix, false);
    EXPECT_EQ(plan.actionText(0), "Done");
    EXPECT_FALSE(exists(trash + "files/x é.txt"));
}

} // namespace
} // namespace quellomir
