#pragma once

#include "compare/plan_row.h"
#include "scan/file_list.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quellomir::testing {

// The comparison done the slow and obvious way: full path texts, the name cut from the
// path afresh for every pair, every file of one side walked against every file of the
// other. The fast rules must give exactly what this gives.

struct PlainRow {
    Side sourceSide;
    std::uint32_t source;
    std::uint32_t destination; // overwrite rows only; 0 for a copy row
    std::string sourceText;
    std::string actionText;
    std::string destinationText;

    bool operator==(const PlainRow&) const = default;
};

std::vector<std::uint32_t> plainFindMissing(const FileList& a, const FileList& b);
void plainFindNewer(const FileList& a, const FileList& b, std::vector<PlainRow>& rows);
std::vector<PlainRow> plainPlan(const FileList& files1, const FileList& files2, const std::string& folder1,
                                const std::string& folder2);

} // namespace quellomir::testing
