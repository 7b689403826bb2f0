#include "support/faulty_file_system.h"

#include "files/new_file.h"
#include "files/write_folder.h"
#include "fs/posix_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <vector>

namespace quellomir {
namespace {

using testing::FaultyFileSystem;
using testing::TempFolder;
using Op = FaultyFileSystem::Operation;

// The fault-injecting wrapper carries every fault test of the core, so its own
// counting and matching must be right.
TEST(FaultyFileSystem, FailsTheNthCallCountedFromWhenTheFaultIsSet) {
    TempFolder tmp;
    std::string file = tmp.file("f");
    PosixFileSystem real;
    FaultyFileSystem fs(real);
    FileFacts facts;
    EXPECT_EQ(fs.stat(file, Follow::Yes, facts), 0);
    fs.failCall(Op::Stat, 2, EIO);
    EXPECT_EQ(fs.stat(file, Follow::Yes, facts), 0);
    EXPECT_EQ(fs.stat(file, Follow::Yes, facts), EIO);
    EXPECT_EQ(fs.stat(file, Follow::Yes, facts), 0);
    EXPECT_EQ(fs.calls(Op::Stat), 4);
}

TEST(FaultyFileSystem, FailsEveryCallOnAPathWithOrWithoutTrailingSlash) {
    TempFolder tmp;
    std::string dir = tmp.folder("d");
    PosixFileSystem real;
    FaultyFileSystem fs(real);
    fs.failPath(Op::ListFolder, dir + "/", EACCES);
    auto ignore = [](const FolderEntry&) {};
    EXPECT_EQ(fs.listFolder(dir, stat_kinds::None, ignore), EACCES);
    EXPECT_EQ(fs.listFolder(dir + "/", stat_kinds::None, ignore), EACCES);
    EXPECT_EQ(fs.listFolder(tmp.path(), stat_kinds::None, ignore), 0);
}

TEST(FaultyFileSystem, FailsAListingPartWayAndSingleEntryStats) {
    TempFolder tmp;
    tmp.file("d/a");
    tmp.file("d/b");
    tmp.file("d/c");
    PosixFileSystem real;
    FaultyFileSystem fs(real);
    fs.failListingAfter(tmp / "d", 2, EIO);
    std::vector<std::string> seen;
    EXPECT_EQ(
        fs.listFolder(tmp / "d", stat_kinds::None, [&](const FolderEntry& e) { seen.emplace_back(e.name); }),
        EIO);
    EXPECT_EQ(seen.size(), 2u);

    FaultyFileSystem stats(real);
    stats.failPath(Op::EntryStat, tmp / "d/b", EACCES);
    int failed = 0, good = 0;
    stats.listFolder(tmp / "d", stat_kinds::Regular, [&](const FolderEntry& e) {
        (e.statError == EACCES ? failed : good)++;
        if (e.statError == EACCES) {
            EXPECT_EQ(e.name, "b");
        }
    });
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(good, 2);
}

TEST(FaultyFileSystem, ACopyFaultMatchesTheSourceOrTheFolderANamingFaultTheDestination) {
    TempFolder tmp;
    const std::string a = tmp.file("from/a", "a");
    const std::string to = tmp.folder("to");
    PosixFileSystem real;
    WriteFolder folder;
    ASSERT_EQ(openWriteFolder(real, to, folder), 0);
    {
        FaultyFileSystem fs(real);
        fs.failPath(Op::CopyToNewFile, to, ENOSPC);
        NewFile made;
        EXPECT_EQ(copyToNewFile(fs, a, Follow::Yes, folder, made), ENOSPC);
    }
    {
        FaultyFileSystem fs(real);
        fs.failPath(Op::CopyToNewFile, a, EIO);
        NewFile made;
        EXPECT_EQ(copyToNewFile(fs, a, Follow::Yes, folder, made), EIO);
    }
    FaultyFileSystem fs(real);
    fs.failPath(Op::NameNewFile, tmp / "to/b", EIO);
    NewFile made;
    ASSERT_EQ(copyToNewFile(fs, a, Follow::Yes, folder, made), 0);
    EXPECT_EQ(nameNewFile(fs, made, "b", Replace::No), EIO);
    EXPECT_EQ(nameNewFile(fs, made, "c", Replace::No), 0);
    EXPECT_EQ(testing::namesIn(to), std::vector<std::string>{"c"});
}

} // namespace
} // namespace quellomir
