#include "cli/command_line.h"
#include "cli/command_line_run.h"
#include "cli/unanswered_drives.h"

#include "files/new_file.h"
#include "fs/posix_file_system.h"
#include "fs/watched_file_system.h"
#include "support/fake_drive.h"
#include "support/faulty_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"
#include "support/unanswering_file_system.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace quellomir {
namespace {

using testing::TempFolder;
using Op = testing::FaultyFileSystem::Operation;

constexpr FileTime Older{1'600'000'000, 0};
constexpr FileTime Newer{1'600'000'500, 0};

// Runs a command line as the program would, with what it prints caught.
struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

// `out`, when given, takes the place of the caught standard output.
Ran runLine(std::vector<const char*> words, FileSystem& fs, const std::atomic<bool>* interrupted = nullptr,
            std::FILE* givenOut = nullptr) {
    words.insert(words.begin(), "quellomir");
    char* out = nullptr;
    char* err = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    Terminal terminal;
    terminal.out = givenOut ? givenOut : ::open_memstream(&out, &outSize);
    terminal.err = ::open_memstream(&err, &errSize);
    terminal.interrupted = interrupted;
    const CodePage codePage;
    Ran ran;
    ran.status = runCommandLine(parseCommandLine(int(words.size()), words.data()), fs, codePage, terminal);
    std::fclose(terminal.out);
    std::fclose(terminal.err);
    ran.out = out ? std::string(out, outSize) : ""; // NUL bytes too
    ran.err = err;
    std::free(out);
    std::free(err);
    return ran;
}

struct CommandLineTest : ::testing::Test {
    TempFolder tmp;
    PosixFileSystem fs;
    const std::string one = tmp.folder("one/");
    const std::string two = tmp.folder("two/");
    void file(const std::string& relative, FileTime time) {
        testing::setTime(tmp.file(relative, relative), time);
    }
};

TEST_F(CommandLineTest, ComparePrintsTheWindowsRowsWithTabsAndTellsByItsStatus) {
    EXPECT_EQ(runLine({"compare", one.c_str(), two.c_str()}, fs).status, ExitNothingToDo);
    file("one/a.txt", Newer);
    file("one/sub/b.txt", Newer);
    file("two/b.txt", Older);
    std::string expected;
    for (std::string row : testing::rowTexts(testing::comparePlan(fs, one, two)))
        expected += row.replace(row.find("| "), 2, "\t").replace(row.rfind('|'), 1, "\t") + '\n';
    // Without their trailing separators, as a script may give them.
    const std::string bare1 = one.substr(0, one.size() - 1);
    const Ran ran = runLine({"compare", bare1.c_str(), (tmp / "two").c_str()}, fs);
    EXPECT_EQ(ran.status, ExitRowsOrFailures);
    EXPECT_EQ(ran.out, expected);
    EXPECT_EQ(ran.err, "2 rows: 1 copy row from Folder 1 to Folder 2, 0 copy rows from Folder 2 to "
                       "Folder 1, 1 overwrite row; 22 bytes to copy; 1 row across subfolders\n");
    EXPECT_EQ(runLine({"sync", "--dry-run", one.c_str(), two.c_str()}, fs).out, ran.out);
    EXPECT_EQ(runLine({"compare", "--quiet", one.c_str(), two.c_str()}, fs).out, "");
    // The overwrite pairs files of different subfolders: a sync that did not choose its pairing
    // writes nothing, and one that chose pairing by name carries it out.
    const Ran unchosen = runLine({"sync", one.c_str(), two.c_str()}, fs);
    EXPECT_EQ(unchosen.status, ExitPairingUnconfirmed);
    EXPECT_EQ(unchosen.out, "");
    EXPECT_NE(unchosen.err.find("1 row would replace a file of another subfolder"), std::string::npos);
    EXPECT_EQ(runLine({"compare", one.c_str(), two.c_str()}, fs).out, expected);
    EXPECT_EQ(runLine({"sync", "--pair-by=name", one.c_str(), two.c_str()}, fs).status, ExitNothingToDo);
}

// A backup folder kept inside the folder it backs up, or the reverse: paired by place, each run
// copied the whole tree a level deeper into itself.
TEST_F(CommandLineTest, AFolderInsideTheOtherIsLeftOutOfItsScanWhenPairedByPlace) {
    file("one/a.txt", Newer);
    file("one/sub/b.txt", Newer);
    const std::string inner = tmp.folder("one/backup/");
    file("one/backup/c.txt", Older);
    for (const auto& [first, second] : {std::pair{one, inner}, std::pair{inner, one}}) {
        const Ran synced = runLine({"sync", "--pair-by=path", first.c_str(), second.c_str()}, fs);
        EXPECT_EQ(synced.status, ExitNothingToDo) << synced.out;
        EXPECT_NE(synced.err.find("lies inside"), std::string::npos) << synced.err;
        EXPECT_EQ(runLine({"compare", "--pair-by=path", first.c_str(), second.c_str()}, fs).status,
                  ExitNothingToDo);
    }
    EXPECT_EQ(testing::namesIn(inner), (std::vector<std::string>{"a.txt", "c.txt", "sub"}));
    EXPECT_FALSE(testing::exists(inner + "backup"));
    EXPECT_NE(runLine({"compare", one.c_str(), inner.c_str()}, fs).err.find("Folder 2 lies inside Folder 1"),
              std::string::npos);
}

TEST_F(CommandLineTest, SyncPrintsEachOutcomeAndItsStatusTellsOfFailures) {
    file("one/a.txt", Newer);
    file("one/b.txt", Newer);
    testing::FaultyFileSystem failing(fs);
    failing.failPath(Op::CopyToNewFile, one + "b.txt", EIO);
    const Ran ran = runLine({"sync", one.c_str(), two.c_str()}, failing);
    EXPECT_EQ(ran.status, ExitRowsOrFailures);
    EXPECT_NE(ran.out.find(one + "a.txt\tDone\t" + two + "\n"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find(one + "b.txt\tFailed: " + std::strerror(EIO) + "\t" + two + "\n"),
              std::string::npos);
    // The end message beside the rows, in either form of them.
    EXPECT_NE(ran.err.find("Done.\n\n1 ticked row could not be copied:"), std::string::npos);
    EXPECT_EQ(ran.out.find("Done."), std::string::npos);
    // Quiet, and once it has all been done: nothing printed, nothing to do.
    EXPECT_EQ(runLine({"sync", "-q", one.c_str(), two.c_str()}, fs).out, "");
    EXPECT_EQ(runLine({"sync", one.c_str(), two.c_str()}, fs).status, ExitNothingToDo);
}

// A file that could not be read is no "nothing to do", for compare and sync alike.
TEST_F(CommandLineTest, WhatCouldNotBeReadIsNamedOnStandardErrorAndEndsWithOne) {
    file("one/a.txt", Newer);
    testing::FaultyFileSystem failing(fs);
    failing.failPath(Op::EntryStat, one + "a.txt", EIO);
    for (const char* command : {"compare", "sync"}) {
        const Ran ran = runLine({command, one.c_str(), two.c_str()}, failing);
        EXPECT_EQ(ran.status, ExitRowsOrFailures) << command;
        const std::string line =
            "could not be read, not in the plan: " + one + "a.txt \u2014 " + std::strerror(EIO);
        EXPECT_NE(ran.err.find(line), std::string::npos) << ran.err;
    }
}

TEST_F(CommandLineTest, UsageErrorsAndUnreadableFoldersEndWithTwo) {
    for (std::vector<const char*> words : {std::vector<const char*>{"compare", one.c_str()},
                                           {"sync", "--all", one.c_str(), two.c_str()},
                                           {"merge", one.c_str(), two.c_str()}}) {
        const Ran ran = runLine(words, fs);
        EXPECT_EQ(ran.status, ExitUsage) << words[0];
        // One line of what is wrong, and where to read more.
        EXPECT_EQ(ran.err.find("Usage: quellomir"), std::string::npos);
        EXPECT_NE(ran.err.find("Try \"quellomir --help\""), std::string::npos) << ran.err;
    }
    const Ran missing = runLine({"sync", one.c_str(), (tmp / "unplugged").c_str()}, fs);
    EXPECT_EQ(missing.status, ExitUsage);
    EXPECT_EQ(missing.err, "quellomir: Folder 2 cannot be read: " + tmp / "unplugged/" + " \u2014 " +
                               std::strerror(ENOENT) + "\n");
    EXPECT_EQ(runLine({"--help"}, fs).status, ExitNothingToDo);
    EXPECT_EQ(parseCommandLine(2, std::vector<const char*>{"quellomir", "-h"}.data()).mode,
              CommandLine::Mode::Help);
    EXPECT_EQ(
        parseCommandLine(3, std::vector<const char*>{"quellomir", "-platform", "offscreen"}.data()).mode,
        CommandLine::Mode::Window);
}

TEST_F(CommandLineTest, ANameCannotForgeARowOrReachTheTerminalAndNullEndsFieldsUnescaped) {
    const std::string name = "a\tb\nc\x1b[2J\\\xC2\x9B\xC3\xA4.txt";
    file("one/" + name, Newer);
    EXPECT_EQ(runLine({"compare", one.c_str(), two.c_str()}, fs).out,
              one + "a\\tb\\nc\\x1B[2J\\\\\\xC2\\x9B\xC3\xA4.txt\twill be copied to\t" + two + "\n");
    EXPECT_EQ(runLine({"compare", "-0", one.c_str(), two.c_str()}, fs).out,
              one + name + std::string("\0will be copied to\0", 19) + two + std::string(1, '\0'));
}

TEST_F(CommandLineTest, AnOutputThatCannotBeWrittenEndsWithTwo) {
    file("one/a.txt", Newer);
    for (std::vector<const char*> words :
         {std::vector<const char*>{"--help"}, {"compare", one.c_str(), two.c_str()}}) {
        const Ran ran = runLine(words, fs, nullptr, std::fopen("/dev/full", "w"));
        EXPECT_EQ(ran.status, ExitUsage) << words[0];
        const std::string line = "the output could not be written: " + std::string(std::strerror(ENOSPC));
        EXPECT_NE(ran.err.find(line), std::string::npos) << ran.err;
    }
}

TEST_F(CommandLineTest, DotDotAfterALinkLeadsWhereTheKernelTakesIt) {
    tmp.folder("real/sub/");
    ASSERT_EQ(::symlink((tmp / "real/sub").c_str(), (tmp / "link").c_str()), 0);
    const std::string through = tmp / "link/../";
    const CommandLine line =
        parseCommandLine(4, std::vector<const char*>{"quellomir", "compare", through.c_str(), "x"}.data());
    EXPECT_EQ(line.folder1, tmp / "real/");
}

// Stops the run, as Ctrl+C does, while the second file is being copied.
class InterruptingCopy final : public testing::ForwardingFileSystem {
  public:
    InterruptingCopy(FileSystem& inner, std::atomic<bool>& flag)
        : ForwardingFileSystem(inner), m_flag(flag) {}
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override {
        if (++m_copies == 2) m_flag = true;
        const int error = m_inner.copyContents(from, to, progress, permissionsChanged);
        if (error == 0 && progress) progress(0);
        return error;
    }

  private:
    std::atomic<bool>& m_flag;
    std::atomic<int> m_copies{0}; // copies made ahead are made on several threads
};

TEST_F(CommandLineTest, AnInterruptedSyncFinishesWhatItCopiedLeavesNoTemporaryAndEndsWith130) {
    for (const char* name : {"one/a.txt", "one/b.txt", "one/c.txt"})
        file(name, Newer);
    std::atomic<bool> flag{false};
    InterruptingCopy interrupting(fs, flag);
    const Ran ran = runLine({"sync", one.c_str(), two.c_str()}, interrupting, &flag);
    EXPECT_EQ(ran.status, ExitInterrupted);
    // The rows whose copies were under way are finished, whole and with their times; nothing else.
    const auto copies = testing::namesIn(two);
    ASSERT_GE(copies.size(), 1u);
    const std::string done = std::to_string(copies.size());
    EXPECT_NE(ran.err.find("interrupted after " + done + " of 3 rows (" + done + " done, 0 failed)"),
              std::string::npos)
        << ran.err;
    for (const std::string& name : copies)
        EXPECT_EQ(testing::timeOf(two + name).seconds, Newer.seconds) << name;
}

// A stop during the end flush, and a reader of the output that went away (`| head -1`), both
// stop the run with every copy made finished: on the disk and with its source's time.
TEST_F(CommandLineTest, AStopDuringTheFlushOrAClosedOutputStillFinishesEveryCopyMade) {
    for (const char* name : {"one/a.txt", "one/b.txt", "one/c.txt"})
        file(name, Newer);
    auto expectFinished = [&](std::size_t copies) {
        const auto names = testing::namesIn(two);
        EXPECT_EQ(names.size(), copies);
        for (const std::string& name : names)
            EXPECT_EQ(testing::timeOf(two + name).seconds, Newer.seconds) << name;
    };
    std::atomic<bool> flag{false};
    // Ctrl+C or SIGTERM once the end flush has begun.
    testing::FakeDrive stopping(fs);
    stopping.before(testing::FakeDrive::Call::SyncFileSystem, [&](const std::string&) { flag = true; });
    const Ran stopped = runLine({"sync", one.c_str(), two.c_str()}, stopping, &flag);
    EXPECT_EQ(stopped.status, ExitInterrupted);
    EXPECT_NE(
        stopped.err.find("interrupted after 3 of 3 rows (3 done, 0 failed); the copies made are finished"),
        std::string::npos)
        << stopped.err;
    expectFinished(3);

    for (const std::string& name : testing::namesIn(two))
        ::unlink((two + name).c_str());
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const auto before = ::signal(SIGPIPE, SIG_IGN); // as the program itself ignores it
    const Ran cut = runLine({"sync", one.c_str(), two.c_str()}, fs, nullptr, ::fdopen(ends[1], "w"));
    ::signal(SIGPIPE, before);
    EXPECT_EQ(cut.status, ExitUsage);
    // The first row's line could not be written; the rows in flight with it are finished.
    const std::size_t copies = testing::namesIn(two).size();
    EXPECT_NE(cut.err.find("the output could not be written (" + std::string(std::strerror(EPIPE)) +
                           "): stopped after " + std::to_string(copies) + " of 3 rows"),
              std::string::npos)
        << cut.err;
    EXPECT_GE(copies, 1u);
    expectFinished(copies);
}

// A drive that never answers holds the run in the kernel, where no stop reaches it: the
// stop then ends the program with a line naming the folder. A stop the run can still see
// is left to the run, which finishes what it copied.
TEST_F(CommandLineTest, AStopWhileADriveDoesNotAnswerEndsWithALineNamingItsFolder) {
    file("one/a.txt", Newer);
    tmp.file("two/hangs/b.txt", "b");
    testing::UnansweringFileSystem unanswering(fs, two + "hangs");
    WatchedFileSystem watched(unanswering);
    std::atomic<bool> stop{false};
    std::string endLine;
    const UnansweredStop how{[&](const std::string& line) {
                                 endLine = line;
                                 unanswering.release();
                             },
                             std::chrono::milliseconds(50)};
    std::thread pressCtrlC([&] {
        while (!unanswering.reached())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
    });
    runWatchingForUnansweredDrives(
        [&] {
            return runLine({"compare", one.c_str(), two.c_str()}, watched, &stop).status;
        },
        stop, how);
    pressCtrlC.join();
    EXPECT_EQ(endLine.rfind("stopped: " + two + "hangs", 0), 0u) << endLine;
    EXPECT_NE(endLine.find(" has not answered for "), std::string::npos) << endLine;

    endLine.clear();
    const int status = runWatchingForUnansweredDrives(
        [&] {
            return runLine({"sync", one.c_str(), two.c_str()}, watched, &stop).status;
        },
        stop, how);
    EXPECT_EQ(status, ExitInterrupted);
    EXPECT_EQ(endLine, "");
}

} // namespace
} // namespace quellomir
