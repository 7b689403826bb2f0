#include "files/folder_listing.h"

#include "files/readable_folder.h"

#include "fs/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/fifo_watchdog.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>

namespace quellomir {
namespace {

using testing::FaultyFileSystem;
using testing::TempFolder;
using Op = FaultyFileSystem::Operation;

void setTime(const std::string& path, FileTime time) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time.seconds, time.nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::map<std::string, ListedFile> byPath(const FileList& list) {
    std::map<std::string, ListedFile> files;
    for (std::size_t i = 0; i < list.size(); ++i)
        files[list.path(i)] = list.file(i);
    return files;
}

class FolderListingTest : public ::testing::Test {
  protected:
    TempFolder tmp;
    PosixFileSystem real;
    CodePage codePage;
};

TEST_F(FolderListingTest, AppendsEachFolderFilesWithTheirTimesToTheNanosecond) {
    setTime(tmp.file("A/one"), {1'600'000'000, 250'000'000});
    setTime(tmp.file("A/B/two"), {1'500'000'000, 999'999'999});
    tmp.file("A/B/.hidden");
    tmp.folder("A/B/C");
    FileList list;
    list.folders = {tmp / "A/", tmp / "A/B/", tmp / "A/B/C/"};
    for (std::uint32_t i = 0; i < 3; ++i)
        appendFolderFiles(real, codePage, list, i);

    auto files = byPath(list);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[tmp / "A/one"].folder, 0u);
    EXPECT_EQ(files[tmp / "A/one"].modified().seconds, 1'600'000'000);
    EXPECT_EQ(files[tmp / "A/one"].modified().nanoseconds, 250'000'000);
    EXPECT_EQ(files[tmp / "A/B/two"].folder, 1u);
    EXPECT_EQ(files[tmp / "A/B/two"].modified().roundedSeconds(), 1'500'000'001);
    EXPECT_EQ(files.count(tmp / "A/B/.hidden"), 1u);
}

TEST_F(FolderListingTest, LeavesOutTildeNamesWhenAsked) {
    tmp.file("A/~$report.docx");
    tmp.file("A/report.docx");
    tmp.file("A/a~b");
    FileList all, noTilde;
    all.folders = noTilde.folders = {tmp / "A/"};
    appendFolderFiles(real, codePage, all, 0);
    appendFolderFiles(real, codePage, noTilde, 0, NameFilter::NoTilde);
    EXPECT_EQ(all.size(), 3u);
    ASSERT_EQ(noTilde.size(), 2u);
    for (std::size_t i = 0; i < noTilde.size(); ++i)
        EXPECT_NE(noTilde.name(i).front(), '~');
}

TEST_F(FolderListingTest, AMissingFolderAddsNothingAndNoFailure) {
    FileList list;
    list.folders = {tmp / "missing/"};
    EXPECT_NO_THROW(appendFolderFiles(real, codePage, list, 0));
    EXPECT_TRUE(list.empty());
}

TEST_F(FolderListingTest, AFailedListingAddsNothingOfThatFolderAndSaysWhy) {
    for (int i = 0; i < 5; ++i)
        tmp.file("A/f" + std::to_string(i));
    tmp.file("B/kept");
    FaultyFileSystem fs(real);
    fs.failListingAfter(tmp / "A/", 3, EIO);
    FileList list;
    list.folders = {tmp / "B/", tmp / "A/"};
    appendFolderFiles(fs, codePage, list, 0);
    try {
        appendFolderFiles(fs, codePage, list, 1);
        FAIL() << "the failure was not passed on";
    } catch (const std::system_error& failure) {
        EXPECT_EQ(failure.code().value(), EIO);
        EXPECT_NE(std::string(failure.what()).find(tmp / "A/"), std::string::npos);
    }
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.name(0), "kept");
}

TEST_F(FolderListingTest, AFileWhoseStatFailsIsLeftOut) {
    tmp.file("A/good");
    tmp.file("A/unreadable");
    FaultyFileSystem fs(real);
    fs.failPath(Op::EntryStat, tmp / "A/unreadable", EACCES);
    FileList list;
    list.folders = {tmp / "A/"};
    appendFolderFiles(fs, codePage, list, 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.name(0), "good");
}

TEST_F(FolderListingTest, AFolderIsReadableOnlyWhenItCanBeListed) {
    const std::string pipe = tmp.fifo("pipe");
    testing::FifoWatchdog watchdog(pipe);
    FaultyFileSystem fs(real);
    fs.failPath(Op::ListFolder, tmp.folder("locked"), EACCES);
    const std::pair<std::string, int> cases[] = {
        {tmp.file("full/a"), ENOTDIR}, {tmp / "full", 0}, {tmp.link("to-full", tmp / "full") + "/", 0},
        {tmp / "missing/", ENOENT},    {pipe, ENOTDIR},   {tmp / "locked/", EACCES}};
    for (const auto& [folder, error] : cases)
        EXPECT_EQ(folderReadError(fs, folder), error) << folder;
    EXPECT_FALSE(watchdog.fired()) << "a FIFO was opened";
}

} // namespace
} // namespace quellomir
