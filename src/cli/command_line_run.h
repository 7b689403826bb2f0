#pragma once

#include "cli/command_line.h"
#include "files/code_page.h"
#include "fs/file_system.h"

#include <atomic>
#include <cstdio>

namespace quellomir {

// Where a run from the command line writes, and whether it shows a progress line.
struct Terminal {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool progress = false; // a line on `err` that rewrites itself, for a terminal
    // Set from outside (Ctrl+C) to stop the run: the row being copied is finished or
    // undone, and the run ends after saying what was done.
    const std::atomic<bool>* interrupted = nullptr;
};

// Exit statuses of the command line.
inline constexpr int ExitNothingToDo = 0;
inline constexpr int ExitRowsOrFailures = 1;
inline constexpr int ExitUsage = 2;
// sync without --pair-by found overwrites that pair files of different subfolders: nothing
// was written.
inline constexpr int ExitPairingUnconfirmed = 3;
inline constexpr int ExitInterrupted = 130;

// Carries out a compare or sync command line: the same scan, rules, checks and copies as
// the window, every row ticked. Returns the exit status.
int runCommandLine(const CommandLine& line, FileSystem& fs, const CodePage& codePage,
                   const Terminal& terminal);

} // namespace quellomir
