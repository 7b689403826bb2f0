#include "files/trash_can.h"
#include "support/fifo_watchdog.h"
#include "support/pinned_environment.h"
#include "support/scan_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

namespace quellomir {
namespace {

using testing::enumeratedFolders;
using testing::ScanRun;
using testing::TempFolder;

TEST(FolderScanOrder, ThreeLevelsComeBackBreadthFirstInEnumerationOrder) {
    TempFolder tmp;
    tmp.folder("R/a/x");
    tmp.folder("R/a/y");
    tmp.folder("R/b/z");
    tmp.file("R/a/file-is-no-folder");
    std::string root = tmp / "R/";
    // The expected order, level by level, from the file system's own enumeration.
    FolderList expected{root};
    for (std::size_t i = 0; i < expected.size(); ++i)
        for (const std::string& name : enumeratedFolders(expected[i]))
            expected.push_back(expected[i] + name + "/");
    ASSERT_EQ(expected.size(), 6u);

    PosixFileSystem fs;
    ScanRun run(fs, root);
    EXPECT_EQ(run.list, expected);
    EXPECT_TRUE(run.report.entries.empty());
}

TEST(FolderScanOrder, WithoutRecursionOnlyTheDirectChildrenJoin) {
    TempFolder tmp;
    tmp.folder("R/only/deeper");
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/", false);
    EXPECT_EQ(run.list, (FolderList{tmp / "R/", tmp / "R/only/"}));
}

TEST(FolderScanOrder, SeedsStayAsTheyCameEvenWhenMissingOrNoFolder) {
    TempFolder tmp;
    tmp.folder("empty");
    std::string file = tmp.file("plain");
    PosixFileSystem fs;
    EXPECT_EQ(ScanRun(fs, tmp / "empty/").list, FolderList{tmp / "empty/"});
    EXPECT_EQ(ScanRun(fs, tmp / "missing/").list, FolderList{tmp / "missing/"});
    EXPECT_EQ(ScanRun(fs, file + "/").list, FolderList{file + "/"});
}

TEST(FolderScanOrder, AllSeedsComeFirstThenTheChildrenSeedBySeed) {
    TempFolder tmp;
    tmp.folder("A/a1");
    tmp.folder("B/b1");
    PosixFileSystem fs;
    ScanRun run(fs, FolderList{tmp / "A/", tmp / "B/"});
    EXPECT_EQ(run.list, (FolderList{tmp / "A/", tmp / "B/", tmp / "A/a1/", tmp / "B/b1/"}));
}

TEST(FolderScanOrder, AVeryDeepTreeDoesNotExhaustTheStack) {
    TempFolder tmp;
    int folder = ::open(tmp.folder("R").c_str(), O_RDONLY | O_DIRECTORY);
    const int depth = 1500;
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdirat(folder, "d", 0700), 0);
        int child = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = child;
    }
    ::close(folder);
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/");
    ASSERT_EQ(run.list.size(), depth + 1u);
    EXPECT_EQ(run.list.back().size(), (tmp / "R/").size() + 2 * depth);
}

TEST(FolderScanOrder, PathsOfPathMaxBytesOrMoreAreLeftOut) {
    TempFolder tmp;
    const std::string longName(250, 'n');
    int folder = ::open(tmp.folder("R").c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 20; ++i) { // about 5,000 bytes deep
        ASSERT_EQ(::mkdirat(folder, longName.c_str(), 0700), 0);
        int child = ::openat(folder, longName.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = child;
    }
    ::close(folder);
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/");
    std::size_t admitted = (PATH_MAX - 1 - (tmp / "R/").size()) / (longName.size() + 1);
    EXPECT_EQ(run.list.size(), admitted + 1);
    for (const std::string& path : run.list)
        EXPECT_LT(path.size(), static_cast<std::size_t>(PATH_MAX));
}

TEST(FolderScanNames, UnsafeAndUncarriedNamesAreLeftOutWithTheirSubtrees) {
    TempFolder tmp;
    for (const char* name : {"ok", "cyr\xD0\x96", ".hidden"})
        tmp.folder(std::string("R/") + name + "/below");
    for (const char* name : {"ctl\x01", "what?", "del\x7F", "c1\xC2\x85", "bad\xFF\xFE", "lone\xC3"})
        tmp.folder(std::string("R/") + name + "/below");
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/");
    std::sort(run.list.begin() + 1, run.list.end());
    std::string r = tmp / "R/";
    EXPECT_EQ(run.list, (FolderList{r, r + ".hidden/", r + ".hidden/below/", r + "cyr\xD0\x96/",
                                    r + "cyr\xD0\x96/below/", r + "ok/", r + "ok/below/"}));
}

TEST(FolderScanNames, ALegacyCharacterSetDecidesWhichLettersAreCarried) {
    TempFolder tmp;
    tmp.folder("R/cyr\xD0\x96");              // Cyrillic Zhe: in 1251, not in 1252
    tmp.folder("R/caf\xC3\xA9");              // e acute: in 1252, not in 1251
    tmp.folder("R/\xE6\x97\xA5\xE6\x9C\xAC"); // Japanese: double-byte in 932, so unsafe
    PosixFileSystem fs;
    EXPECT_EQ(ScanRun(fs, tmp / "R/", true, "CP1251").list, (FolderList{tmp / "R/", tmp / "R/cyr\xD0\x96/"}));
    EXPECT_EQ(ScanRun(fs, tmp / "R/", true, "CP932").list, FolderList{tmp / "R/"});
}

// Without the check these trees grow several-fold per level up to the path limit; the
// bounded yielder makes such a run end, for the test to fail on its result.
FolderList scanBounded(const std::string& seed) {
    PosixFileSystem fs;
    CodePage codePage;
    testing::RecordingReport report;
    testing::BoundedYielder yielder(10'000);
    FolderList list{seed};
    GetSubDirectories2016(list, true, fs, codePage, report, yielder);
    EXPECT_TRUE(report.entries.empty());
    return list;
}

TEST(FolderScanLinks, ACycleEndsAtTheFolderAlreadyReached) {
    TempFolder tmp;
    tmp.folder("R/a");
    tmp.link("R/a/back", tmp / "R");
    tmp.link("R/a/self", ".");
    EXPECT_EQ(scanBounded(tmp / "R/"), (FolderList{tmp / "R/", tmp / "R/a/"}));
}

TEST(FolderScanLinks, ManyLinksToOneAncestorDoNotMultiplyTheWork) {
    TempFolder tmp;
    tmp.folder("R/a/sub");
    for (const char* link : {"R/a/l1", "R/a/l2", "R/a/sub/l3", "R/a/sub/l4"})
        tmp.link(link, tmp / "R/a");
    EXPECT_EQ(scanBounded(tmp / "R/"), (FolderList{tmp / "R/", tmp / "R/a/", tmp / "R/a/sub/"}));
}

TEST(FolderScanLinks, ALinkOutOfTheTreeIsFollowedOnce) {
    TempFolder tmp;
    tmp.folder("outside/x");
    tmp.folder("R");
    tmp.link("R/one", tmp / "outside");
    tmp.link("R/two", tmp / "outside");
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/");
    ASSERT_EQ(run.list.size(), 3u);
    // Whichever link the file system enumerates first is the one followed.
    std::string first = run.list[1];
    EXPECT_TRUE(first == tmp / "R/one/" || first == tmp / "R/two/");
    EXPECT_EQ(run.list[2], first + "x/");
}

TEST(FolderScanLinks, DanglingLinksFifosAndLinksToFilesAreNoFolders) {
    TempFolder tmp;
    tmp.folder("R/real");
    std::string pipe = tmp.fifo("R/pipe");
    tmp.link("R/to-pipe", pipe);
    tmp.link("R/dangling", tmp / "nowhere");
    tmp.link("R/to-file", tmp.file("R/file"));
    PosixFileSystem fs;
    testing::FifoWatchdog watchdog(pipe);
    FolderList list = ScanRun(fs, tmp / "R/").list;
    EXPECT_FALSE(watchdog.fired()) << "the scan opened the FIFO";
    EXPECT_EQ(list, (FolderList{tmp / "R/", tmp / "R/real/"}));
}

TEST(FolderScanYield, OffersTheWindowATurnPerFolderAndPerChild) {
    TempFolder tmp;
    tmp.folder("R/a/x");
    tmp.folder("R/a/y");
    tmp.folder("R/b/z");
    for (int i = 0; i < 50; ++i)
        tmp.file("R/a/file" + std::to_string(i)); // files are no turn of their own
    PosixFileSystem fs;
    ScanRun run(fs, tmp / "R/");
    // 6 folders looked at, 5 children met while listing, 5 folders joining the list.
    EXPECT_EQ(run.yielder.ticks, 16);
}

// The Trash folders and lost+found of a drive's top folder, and the home Trash wherever it
// lies, take no part; the same names deeper down are the user's own.
TEST(FolderScanLeavesOut, TheTrashAndLostAndFound) {
    TempFolder tmp;
    const std::string top = tmp.folder("drive") + "/";
    if (::geteuid() != 0 || ::mount("quellomir-test", top.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "mounting a drive for the test needs root";
    for (const char* folder :
         {".Trash/0", ".Trash-0", "lost+found", "d/.local/Trash/files", "d/.Trash-0", "d/lost+found"})
        tmp.folder("drive/" + std::string(folder));
    testing::PinnedEnvironment dataHome("XDG_DATA_HOME", (top + "d/.local").c_str());
    PosixFileSystem fs;
    FolderList list = ScanRun(fs, top).list;
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list,
              (FolderList{top, top + "d/", top + "d/.Trash-0/", top + "d/.local/", top + "d/lost+found/"}));
    ::umount2(top.c_str(), MNT_DETACH);
}

} // namespace
} // namespace quellomir
