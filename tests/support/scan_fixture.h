#pragma once

#include "files/code_page.h"
#include "fs/posix_file_system.h"
#include "scan/folder_scan.h"
#include "support/recording_report.h"
#include "support/temp_folder.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quellomir::testing {

// Counts the scan's offers to let the window answer.
class CountingYielder final : public Yielder {
  public:
    void tick() override { ++ticks; }
    int ticks = 0;
};

// Gives up, by throwing, after a number of turns: a scan that runs away ends its work
// on every folder at the next child and so returns, for the test to fail on its result.
class BoundedYielder final : public Yielder {
  public:
    explicit BoundedYielder(int limit) : m_limit(limit) {}
    void tick() override {
        if (++ticks > m_limit) throw std::runtime_error("the scan runs away");
    }
    int ticks = 0;

  private:
    int m_limit;
};

// The names of a folder's subfolders in the order the file system enumerates them,
// read without the seam, so tests can state the scan's order on any file system.
std::vector<std::string> enumeratedFolders(const std::string& folder);

// A scan of one seed over a chosen file system, under UTF-8 unless told.
struct ScanRun {
    FolderList list;
    RecordingReport report;
    CountingYielder yielder;

    ScanRun(FileSystem& fs, const std::string& seed, bool recurse = true, const char* charset = "UTF-8");
    ScanRun(FileSystem& fs, FolderList seeds, bool recurse = true, const char* charset = "UTF-8");
};

} // namespace quellomir::testing
