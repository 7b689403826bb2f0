#pragma once

#include "compare/plan.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quellomir {

// What a person needs to judge a row before it touches their files. Each is worked out
// when the row is shown, from the plan alone, so a plan of a million rows costs nothing
// more until someone looks.

// An overwrite row whose two files lie in different subfolders of their chosen folders.
bool pairsDifferentSubfolders(const Plan& plan, std::size_t row);
// A row whose name occurs more than once on either side.
bool nameRepeats(const Plan& plan, std::size_t row);
// Either of the two: the row wants a look before the sync.
inline bool wantsALook(const Plan& plan, std::size_t row) {
    return pairsDifferentSubfolders(plan, row) || nameRepeats(plan, row);
}

// The row's files with their paths relative to their chosen folders, sizes and times;
// for an overwrite row how much newer the source is; and why the row wants a look.
std::string rowDetails(const Plan& plan, std::size_t row);

// A file's path below its side's chosen folder: "2019/Christmas/IMG_0039.JPG".
std::string relativePath(const Plan& plan, Side side, std::uint32_t file);
// "2 days", "1 hour", "12 seconds": the larger unit that is at least 1, rounded down.
std::string spanText(std::int64_t seconds);
// "834 bytes", "12.5 kB", "125 MB", "3.2 GB", in powers of 1,000 as file managers show them.
std::string sizeText(std::uint64_t bytes);

// What a plan holds, for the caption after a comparison.
struct PlanSummary {
    std::size_t copies = 0;
    std::size_t overwrites = 0;
    std::size_t acrossSubfolders = 0; // of the overwrites
    std::uint64_t bytes = 0;          // the sources' sizes as listed
    bool byPlace = false;             // files paired by their place in the folders
};
PlanSummary summarizePlan(const Plan& plan);
// "834 rows: 32 copies, 802 overwrites (760 across subfolders; pair by place from the plan's
// menu), 125 MB", "… 125 MB, paired by place", or "0 rows: the folders are in step"
std::string summaryText(const PlanSummary& summary);

} // namespace quellomir
