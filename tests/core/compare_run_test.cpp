#include "compare/compare_run.h"

#include "fs/posix_file_system.h"
#include "support/forwarding_file_system.h"
#include "support/recording_report.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace quellomir {
namespace {

using testing::ForwardingFileSystem;
using testing::RecordingReport;
using testing::TempFolder;

// Counts the reads of each folder, as opposed to entries merely stat'ed.
class ReadCounter final : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    int listFolder(const std::string& folder, unsigned statKinds, const EntryVisitor& visit) override {
        ++reads[folder];
        return m_inner.listFolder(folder, statKinds, visit);
    }
    std::map<std::string, int> reads;
};

TEST(CompareFolders, ReadsEachFolderOfBothSidesOnce) {
    TempFolder tmp;
    tmp.file("one/a.txt");
    tmp.file("one/Sub/b.txt");
    tmp.file("one/Sub/Deeper/c.txt");
    tmp.file("two/a.txt");
    tmp.file("two/Other/d.txt");
    PosixFileSystem real;
    ReadCounter counted(real);
    RecordingReport report;
    NumberedHandler handler(report, CompareRunLocation);
    const CodePage codePage(1252);
    NoYield noYield;
    std::size_t listed = 0;
    CompareContext context{counted, codePage, report, noYield, listed};

    const Plan plan = compareFolders(
        handler, [&] { return tmp / "one/"; }, [&] { return tmp / "two/"; }, context);

    EXPECT_TRUE(report.entries.empty());
    EXPECT_EQ(listed, 5u);
    EXPECT_EQ(plan.size(), 3u); // b and c to two, d to one; a.txt is on both sides with one time
    const std::map<std::string, int> once = {{tmp / "one/", 1},
                                             {tmp / "one/Sub/", 1},
                                             {tmp / "one/Sub/Deeper/", 1},
                                             {tmp / "two/", 1},
                                             {tmp / "two/Other/", 1}};
    EXPECT_EQ(counted.reads, once);
}

} // namespace
} // namespace quellomir
