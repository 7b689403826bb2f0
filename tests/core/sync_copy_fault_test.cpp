#include "sync/safe_file_copy.h"

#include "fs/posix_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/new_file_kinds.h"
#include "support/skipping_clock.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace quellomir {
namespace {

using testing::contentsOf;
using testing::FaultyFileSystem;
using testing::namesIn;
using testing::TempFolder;
using Op = FaultyFileSystem::Operation;

// An overwrite whose older file must come through any failure byte for byte, with new files
// without names and with "~" names alike.
class OverwriteFaultTest : public ::testing::TestWithParam<PosixFileSystem::NewFiles> {
  protected:
    testing::SkippingClock clock;
    TempFolder tmp;
    PosixFileSystem posix{GetParam()};
    FaultyFileSystem fs{posix};
    const std::string older = tmp.file("to/data.bin", "older contents \x01\x02\x03");
    const std::string source = tmp.file("from/data.bin", std::string(10 << 20, 'n'));

    void expectOlderKeptAndNoTemporary(const CopyResult& result, int error) {
        EXPECT_FALSE(result.done);
        EXPECT_EQ(result.reason, std::strerror(error));
        EXPECT_EQ(contentsOf(older), std::string("older contents \x01\x02\x03"));
        EXPECT_EQ(namesIn(tmp / "to"), std::vector<std::string>{"data.bin"});
    }
};

INSTANTIATE_TEST_SUITE_P(BothKinds, OverwriteFaultTest, testing::bothNewFileKinds(),
                         testing::newFileKindName);

TEST_P(OverwriteFaultTest, AFailureAtAnyStepBeforeTheNamingLeavesTheOlderFile) {
    const std::pair<Op, int> faults[] = {
        {Op::CopyToNewFile, ENOSPC}, {Op::CopyToNewFile, EIO},  {Op::SetModified, EIO},
        {Op::SyncFile, EIO},         {Op::SyncFile, ENOSPC},    {Op::SetMode, EIO},
        {Op::NameNewFile, EIO},      {Op::NameNewFile, EACCES}, {Op::RestatSource, EIO},
    };
    // The sticky bit, which no new file is made with, is given by a call of its own.
    ASSERT_EQ(::chmod(source.c_str(), 01644), 0);
    for (auto [operation, error] : faults) {
        SCOPED_TRACE(::testing::Message() << "operation " << int(operation) << ", " << std::strerror(error));
        FaultyFileSystem faulty(posix);
        faulty.failCall(operation, 1, error);
        const CopyResult result = SafeFileCopy(faulty, source, older);
        EXPECT_EQ(faulty.calls(operation), 1);
        expectOlderKeptAndNoTemporary(result, error);
    }
}

TEST_P(OverwriteFaultTest, AFailingRemovalOfTheTemporaryStillReportsTheFirstFailure) {
    fs.failCall(Op::NameNewFile, 1, EIO);
    fs.failCall(Op::DiscardNewFile, 1, EIO);
    const CopyResult result = SafeFileCopy(fs, source, older);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.reason, std::strerror(EIO));
    EXPECT_EQ(contentsOf(older), std::string("older contents \x01\x02\x03"));
}

TEST_P(OverwriteFaultTest, AFileSystemWithoutPermissionBitsStillTakesTheCopy) {
    fs.failCall(Op::SetMode, 1, EPERM);
    ASSERT_TRUE(SafeFileCopy(fs, source, older).done);
    EXPECT_EQ(contentsOf(older), contentsOf(source));
}

TEST_P(OverwriteFaultTest, AFailingFolderFlushAfterTheNamingIsReportedWithTheCopyInPlace) {
    fs.failCall(Op::SyncFolder, 1, EIO);
    const CopyResult result = SafeFileCopy(fs, source, older);
    EXPECT_FALSE(result.done);
    EXPECT_EQ(result.reason, std::strerror(EIO));
    EXPECT_EQ(contentsOf(older), contentsOf(source)); // the naming had happened
    EXPECT_EQ(namesIn(tmp / "to"), std::vector<std::string>{"data.bin"});
}

// A real write that stops half-way: the file-size limit makes the kernel refuse the rest
// of the copy with EFBIG, as a full disk would with ENOSPC.
TEST_P(OverwriteFaultTest, AWriteThatFailsHalfWayOnTheRealDiskLeavesTheOlderFile) {
    struct sigaction ignore = {}, before = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &before), 0);
    rlimit limit{}, saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    limit = saved;
    limit.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);

    const CopyResult result = SafeFileCopy(posix, source, older);

    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &before, nullptr);
    expectOlderKeptAndNoTemporary(result, EFBIG);
}

// Some network and FUSE file systems answer a naming that is not to replace anything with
// EINVAL, and keep no links: the copy then claims the name by creating it, which refuses a
// taken one in that step.
TEST_P(OverwriteFaultTest, WhereTheNamingCannotRefuseToReplaceTheNameIsClaimedByACreate) {
    testing::FakeDrive drive(posix, {.noRefusingRename = true});
    FaultyFileSystem counted(drive);
    CopyOptions options;
    options.replace = Replace::No;
    const CopyResult refused = SafeFileCopy(counted, source, older, options);
    EXPECT_FALSE(refused.done);
    EXPECT_EQ(refused.error, EEXIST);
    EXPECT_EQ(counted.calls(Op::NameNewFile), 2); // the rename, and the link in its place
    EXPECT_EQ(counted.calls(Op::NameByCopy), 1);
    expectOlderKeptAndNoTemporary(refused, EEXIST);

    ASSERT_TRUE(SafeFileCopy(counted, source, tmp / "to/free.bin", options).done);
    EXPECT_EQ(counted.calls(Op::NameNewFile), 4);
    EXPECT_EQ(counted.calls(Op::NameByCopy), 2);
    EXPECT_EQ(contentsOf(tmp / "to/free.bin"), contentsOf(source));
}

struct Cancelled {}; // like the window's: no std::exception

TEST_P(OverwriteFaultTest, AnExceptionFromTheWindowsTurnDuringTheCopyRemovesTheTemporary) {
    CopyOptions options;
    int turns = 0;
    options.progress = [&](std::int64_t) {
        const bool named = testing::hasTildeNames(GetParam(), tmp / "to");
        ASSERT_EQ(testing::temporaryNamesIn(tmp / "to").size(), named ? 1u : 0u);
        if (++turns == 1) throw Cancelled{};
    };
    EXPECT_THROW(SafeFileCopy(fs, source, older, options), Cancelled);
    EXPECT_EQ(turns, 1);
    EXPECT_EQ(contentsOf(older), std::string("older contents \x01\x02\x03"));
    EXPECT_EQ(namesIn(tmp / "to"), std::vector<std::string>{"data.bin"});
}

} // namespace
} // namespace quellomir
