#include "files/file_helpers.h"

#include "files/path_text.h"
#include "fs/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/fifo_watchdog.h"
#include "support/pinned_environment.h"
#include "support/scan_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace quellomir {
namespace {

using testing::CountingYielder;
using testing::FaultyFileSystem;
using testing::PinnedEnvironment;
using testing::TempFolder;

std::vector<std::string> sorted(const FileNameArray& array) {
    std::vector<std::string> names = array.names();
    std::sort(names.begin(), names.end());
    return names;
}

class FileHelpersTest : public ::testing::Test {
  protected:
    TempFolder tmp;
    PosixFileSystem fs;
    CodePage codePage;
    FileHelpers files{fs, codePage};
};

TEST_F(FileHelpersTest, EmptyAndMissingFoldersGiveTheSingleIndexZero) {
    for (const std::string& folder : {tmp.folder("empty"), tmp / "missing", tmp.file("a-file")}) {
        FileNameArray names = files.GetFolderFiles(folder, "*.*");
        EXPECT_EQ(names.first(), 0) << folder;
        EXPECT_EQ(names.last(), 0);
        EXPECT_EQ(names[0], "");
        EXPECT_THROW(names[1], std::out_of_range);
    }
}

TEST_F(FileHelpersTest, ListsHiddenAndReadOnlyFilesButNoFolders) {
    tmp.file("F/visible.txt");
    tmp.file("F/.hidden");
    ::chmod(tmp.file("F/read-only").c_str(), 0444);
    tmp.file("F/no-dot");
    tmp.folder("F/sub");
    tmp.file("F/sub/deeper.txt");
    tmp.link("F/link-to-file", tmp / "F/visible.txt");
    tmp.link("F/link-to-folder", tmp / "F/sub");
    FileNameArray names = files.GetFolderFiles(tmp / "F", "*.*");
    EXPECT_EQ(names.first(), 1);
    EXPECT_EQ(names.last(), 5);
    EXPECT_EQ(sorted(names),
              (std::vector<std::string>{".hidden", "link-to-file", "no-dot", "read-only", "visible.txt"}));
}

TEST_F(FileHelpersTest, TrailingSeparatorMakesNoDifferenceAndOrderIsTheFileSystems) {
    for (int i = 0; i < 150; ++i)
        tmp.file("F/file" + std::to_string(i));
    FileNameArray without = files.GetFolderFiles(tmp / "F", "*.*");
    FileNameArray with = files.GetFolderFiles(tmp / "F/", "*.*");
    EXPECT_EQ(without.last(), 150);
    EXPECT_EQ(without.names(), with.names());
    std::vector<std::string> order;
    fs.listFolder(tmp / "F", stat_kinds::None, [&](const FolderEntry& e) { order.emplace_back(e.name); });
    EXPECT_EQ(without.names(), order);
}

TEST_F(FileHelpersTest, NamesOutsideTheCodePageOrNotUtf8AreNotListed) {
    tmp.file("F/plain");
    tmp.file("F/caf\xC3\xA9");
    tmp.file("F/cyr\xD0\x96");
    tmp.file("F/bad\xFF");
    EXPECT_EQ(sorted(files.GetFolderFiles(tmp / "F", "*.*")),
              (std::vector<std::string>{"caf\xC3\xA9", "cyr\xD0\x96", "plain"}));
    CodePage cyrillic("CP1251");
    FileHelpers russian(fs, cyrillic);
    EXPECT_EQ(sorted(russian.GetFolderFiles(tmp / "F", "*.*")),
              (std::vector<std::string>{"cyr\xD0\x96", "plain"}));
}

TEST_F(FileHelpersTest, AFifoIsNeitherListedNorOpened) {
    tmp.file("F/file");
    std::string pipe = tmp.fifo("F/pipe");
    tmp.link("F/to-pipe", pipe);
    testing::FifoWatchdog watchdog(pipe);
    EXPECT_EQ(files.GetFolderFiles(tmp / "F", "*.*").names(), std::vector<std::string>{"file"});
    EXPECT_FALSE(files.CanOpenFile(pipe));
    EXPECT_FALSE(files.CanOpenFile(tmp / "F/to-pipe"));
    EXPECT_EQ(files.GetFileDateText(pipe).empty(), false); // its time is read without opening it
    EXPECT_FALSE(watchdog.fired()) << "the FIFO was opened";
}

TEST_F(FileHelpersTest, PatternOtherThanEverythingSelectsNames) {
    tmp.file("F/a.txt");
    tmp.file("F/b.doc");
    tmp.file("F/c");
    EXPECT_EQ(files.GetFolderFiles(tmp / "F", "*").last(), 3);
    EXPECT_EQ(files.GetFolderFiles(tmp / "F", "*.txt").names(), std::vector<std::string>{"a.txt"});
}

TEST_F(FileHelpersTest, ListingFailuresOtherThanAMissingFolderArePassedOn) {
    tmp.file("F/a");
    FaultyFileSystem faulty(fs);
    FileHelpers failing(faulty, codePage);
    faulty.failPath(FaultyFileSystem::Operation::ListFolder, tmp / "F", EACCES);
    try {
        failing.GetFolderFiles(tmp / "F", "*.*");
        FAIL() << "no failure passed on";
    } catch (const std::system_error& failure) {
        EXPECT_EQ(failure.code().value(), EACCES);
        EXPECT_NE(std::string(failure.what()).find(tmp / "F/"), std::string::npos);
    }
}

TEST_F(FileHelpersTest, CanOpenFileOnlyForRegularFilesTheCodePageCarries) {
    EXPECT_TRUE(files.CanOpenFile(tmp.file("plain")));
    EXPECT_TRUE(files.CanOpenFile(tmp.link("link", tmp / "plain")));
    ::chmod(tmp.file("locked").c_str(), 0);
    EXPECT_TRUE(files.CanOpenFile(tmp / "locked")); // opening with no access rights needs none
    EXPECT_FALSE(files.CanOpenFile(tmp.folder("dir")));
    EXPECT_FALSE(files.CanOpenFile(tmp / "missing"));
    EXPECT_FALSE(files.CanOpenFile(tmp.link("dangling", tmp / "missing")));
    EXPECT_FALSE(files.CanOpenFile(tmp.file("bad\xFF")));
    // Only the name counts, not the folders above it.
    CodePage western("CP1252");
    EXPECT_FALSE(FileHelpers(fs, western).CanOpenFile(tmp.file("cyr\xD0\x96")));
    EXPECT_TRUE(FileHelpers(fs, western).CanOpenFile(tmp.file("cyr\xD0\x96-dir/inside")));
}

TEST_F(FileHelpersTest, IsFolderWithOrWithoutTrailingSeparator) {
    tmp.folder("dir");
    EXPECT_TRUE(files.IsFolder(tmp / "dir"));
    EXPECT_TRUE(files.IsFolder(tmp / "dir/"));
    EXPECT_TRUE(files.IsFolder(tmp.link("link", tmp / "dir")));
    EXPECT_FALSE(files.IsFolder(tmp.file("file")));
    EXPECT_FALSE(files.IsFolder(tmp / "missing"));
    EXPECT_FALSE(files.IsFolder(tmp.fifo("pipe")));
}

TEST_F(FileHelpersTest, DateTextIsTheLocalTimeToTheSecondAndEmptyWhenMissing) {
    PinnedEnvironment tz("TZ", "UTC");
    PinnedEnvironment locale("LC_ALL", "C");
    FileHelpers inUtc(fs, codePage); // the date format reads the locale when made
    std::string path = tmp.file("dated");
    // 2021-12-31 12:00:00.6 UTC rounds up to the next second.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1'640'952'000, 600'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(inUtc.GetFileDateText(path), "12/31/21 12:00:01");
    EXPECT_EQ(inUtc.GetFileDateText(tmp / "missing"), "");
}

TEST_F(FileHelpersTest, RemoveFileTakesReadOnlyFilesAndIgnoresMissingOnes) {
    std::string readOnly = tmp.file("F/read-only");
    ::chmod(readOnly.c_str(), 0444);
    ::chmod((tmp / "F").c_str(), 0755);
    CountingYielder yielder;
    files.RemoveFile(readOnly, yielder);
    EXPECT_FALSE(files.CanOpenFile(readOnly));
    EXPECT_NO_THROW(files.RemoveFile(tmp / "F/missing", yielder));
    EXPECT_EQ(yielder.ticks, 2); // the window gets its turn before each deletion
}

TEST(PathText, FileNameIsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(GetFileName("/a/b.txt"), "b.txt");
    EXPECT_EQ(GetFileName("b.txt"), "b.txt");
    EXPECT_EQ(GetFileName("/a/"), "");
    EXPECT_EQ(GetFileName(""), "");
}

TEST(PathText, ParentFolderKeepsItsTrailingSeparator) {
    EXPECT_EQ(GetParentFolder("/a/b.txt"), "/a/");
    EXPECT_EQ(GetParentFolder("b.txt"), "");
    EXPECT_EQ(GetParentFolder("/a/"), "/a/");
    EXPECT_EQ(GetParentFolder("/b.txt"), "/");
}

TEST(PathText, JoinPutsExactlyOneSeparatorBetweenFolderAndName) {
    for (const char* folder : {"/a/Backup", "/a/Backup/", "/a/Backup//"})
        EXPECT_EQ(joinPath(folder, "x"), "/a/Backup/x") << folder;
    EXPECT_EQ(joinPath("/", "x") + joinPath("", "x"), "/xx");
}

} // namespace
} // namespace quellomir
