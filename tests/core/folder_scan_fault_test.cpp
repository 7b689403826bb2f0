#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/scan_fixture.h"

#include <gtest/gtest.h>

#include <linux/magic.h>

#include <cstring>

namespace quellomir {
namespace {

using testing::FakeDrive;
using testing::FaultyFileSystem;
using testing::ScanRun;
using testing::TempFolder;
using Op = FaultyFileSystem::Operation;

bool mentions(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FolderScanFaults : public ::testing::Test {
  protected:
    FolderScanFaults() {
        tmp.folder("R/a/x");
        tmp.folder("R/b/y");
        tmp.folder("R/c");
    }
    std::string r() const { return tmp / "R/"; }

    TempFolder tmp;
    PosixFileSystem real;
    FaultyFileSystem fs{real};
};

TEST_F(FolderScanFaults, ASeedWhoseChildrenCannotBeListedIsRemovedSilently) {
    for (int error : {EACCES, EPERM, ENOENT, ENOTDIR}) {
        FaultyFileSystem denied(real);
        denied.failPath(Op::ListFolder, r(), error);
        ScanRun run(denied, r());
        EXPECT_TRUE(run.list.empty()) << std::strerror(error);
        EXPECT_TRUE(run.report.entries.empty());
    }
}

TEST_F(FolderScanFaults, ADeeperFolderThatCannotBeListedGoesWhileItsSiblingsStay) {
    fs.failPath(Op::ListFolder, r() + "a/", EACCES);
    ScanRun run(fs, r());
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "a/"), 0);
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "a/x/"), 0);
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "b/y/"), 1);
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "c/"), 1);
    EXPECT_EQ(run.list.size(), 4u); // R, b, c, b/y
    EXPECT_TRUE(run.report.entries.empty());
}

TEST_F(FolderScanFaults, OtherListingFailuresKeepTheFolderAndTheChildrenFoundSoFar) {
    tmp.folder("R/a/w");
    fs.failListingAfter(r() + "a/", 1, EIO);
    ScanRun run(fs, r());
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "a/"), 1);
    // One of x and w was listed before the failure and stays; the other was never seen.
    int children = std::count(run.list.begin(), run.list.end(), r() + "a/x/") +
                   std::count(run.list.begin(), run.list.end(), r() + "a/w/");
    EXPECT_EQ(children, 1);
    EXPECT_TRUE(run.report.entries.empty());
}

TEST_F(FolderScanFaults, AFailureOnOneFolderEndsOnlyTheWorkOnThatFolder) {
    // After the first folder of a level qualified, a failed stat of another one is
    // handled per folder: ENOENT removes it, EIO leaves it, neither is reported.
    FaultyFileSystem lost(real), broken(real);
    ScanRun plain(real, r());
    std::string last = plain.list[3]; // the last of a, b, c in enumeration order
    // The listing's own look at it fails first, so that the scan looks by its path.
    for (FaultyFileSystem* fs : {&lost, &broken})
        fs->failPath(Op::EntryStat, last.substr(0, last.size() - 1), EIO);
    lost.failPathCall(Op::Stat, last, 2, ENOENT);
    broken.failPathCall(Op::Stat, last, 2, EIO);
    ScanRun lostRun(lost, r()), brokenRun(broken, r());
    EXPECT_EQ(std::count(lostRun.list.begin(), lostRun.list.end(), last), 0);
    EXPECT_EQ(std::count(brokenRun.list.begin(), brokenRun.list.end(), last), 1);
    EXPECT_TRUE(lostRun.report.entries.empty());
    EXPECT_TRUE(brokenRun.report.entries.empty());
}

TEST_F(FolderScanFaults, AnUnexpectedFailureBeforeAnyFolderQualifiedIsReportedWithItsLine) {
    // The seed's first stat is the folder test, its second fetches the folder's facts.
    fs.failPathCall(Op::Stat, r(), 2, EIO);
    ScanRun run(fs, r());
    // Getting the facts fails (112), and so the qualifying test that needs them (116);
    // the scan goes on and lists the seed all the same.
    ASSERT_EQ(run.report.lines(), (std::vector<int>{112, 116}));
    for (const auto& entry : run.report.entries) {
        EXPECT_EQ(entry.location, "in OrvendaTitle2021/08/31.AddFolder.GetSubDirectories2016 ");
        EXPECT_TRUE(mentions(entry.description, r())) << entry.description;
        EXPECT_TRUE(mentions(entry.description, std::strerror(EIO))) << entry.description;
    }
    EXPECT_EQ(run.list.size(), 6u);
}

TEST_F(FolderScanFaults, AFailedQualifyingTestInTheSecondPassIsReportedAndTheFolderJoins) {
    // Without recursion the children are not listed; the first pass sees them only as
    // names. Their stats: folder test, then the facts for the qualifying test.
    fs.failPathCall(Op::Stat, r() + "c/", 2, EIO);
    ScanRun run(fs, r(), false);
    EXPECT_EQ(run.report.lines(), std::vector<int>{158});
    EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + "c/"), 1);
    EXPECT_EQ(run.list.size(), 4u);
}

TEST_F(FolderScanFaults, AFolderWhoseFactsFailedOnceIsTestedAgainBeforeItJoins) {
    for (const char* child : {"a", "b", "c"}) {
        fs.failPath(Op::EntryStat, r() + child, EIO); // the listing cannot tell, so the scan looks itself
        fs.failPathCall(Op::Stat, r() + child + "/", 2, EIO);
    }
    ScanRun run(fs, r());
    // The first child of the level fails under the general handling: reported, and
    // listed all the same. The others end their work silently, unlisted.
    const std::string first = r() + testing::enumeratedFolders(r())[0] + "/";
    EXPECT_EQ(run.report.lines(), (std::vector<int>{112, 116}));
    for (const char* child : {"a/", "b/", "c/"})
        EXPECT_EQ(std::count(run.list.begin(), run.list.end(), r() + child), 1) << child;
    const std::size_t grandchildren = first == r() + "a/" || first == r() + "b/" ? 1 : 0;
    EXPECT_EQ(run.list.size(), 4 + grandchildren);
}

TEST(FolderScanAttributes, ExactlyHiddenSystemFolderIsLeftOutButOneMoreBitPasses) {
    TempFolder tmp;
    std::string r = tmp / "R/";
    tmp.folder("R/hs/below");
    tmp.folder("R/hsa/below");
    tmp.folder("R/plain");
    tmp.folder("target");
    tmp.link("R/hs-link", tmp / "target");
    PosixFileSystem real;
    FakeDrive fat(real, {.type = MSDOS_SUPER_MAGIC,
                         .attributes = {{r + "hs/", 0x16},         // directory, hidden, system: 22
                                        {r + "hsa/", 0x36},        // and archive: 54
                                        {r + "hs-link/", 0x16}}}); // and a reparse point: 1046
    ScanRun run(fat, r);
    std::sort(run.list.begin() + 1, run.list.end());
    EXPECT_EQ(run.list, (FolderList{r, r + "hsa/", r + "hsa/below/", r + "plain/"}));
}

TEST(FolderScanAttributes, ADriveRootQualifiesWhateverItsAttributes) {
    TempFolder tmp;
    std::string r = tmp / "R/";
    tmp.folder("R/child");
    PosixFileSystem real;
    FakeDrive::Options fat{.type = MSDOS_SUPER_MAGIC, .attributes = {{r, 0x16}}};
    FakeDrive folder(real, fat);
    EXPECT_EQ(ScanRun(folder, FolderList{r}, false).list, FolderList{r})
        << "seed listed only when it qualifies";
    fat.root = r; // now the root of the drive
    FakeDrive root(real, fat);
    EXPECT_EQ(ScanRun(root, FolderList{r}, false).list, (FolderList{r, r + "child/"}));
}

TEST(FolderScanAttributes, TheFatAttributeByteIsReadOnlyOnFat) {
    TempFolder tmp;
    tmp.folder("R/a/b");
    PosixFileSystem real;
    FakeDrive fat(real, {.type = MSDOS_SUPER_MAGIC});
    FaultyFileSystem countedOnFat(fat);
    ScanRun(countedOnFat, tmp / "R/");
    EXPECT_GT(countedOnFat.calls(Op::FatAttributes), 0);
    FaultyFileSystem counted(real);
    ScanRun(counted, tmp / "R/");
    EXPECT_EQ(counted.calls(Op::FatAttributes), 0);  // temp folders are not on FAT
    EXPECT_EQ(counted.calls(Op::FileSystemType), 1); // asked once for the one device
}

} // namespace
} // namespace quellomir
