#pragma once

#include "compare/name_index.h"
#include "compare/plan_row.h"
#include "files/write_times.h"
#include "handler/yielder.h"
#include "scan/file_list.h"

#include <compare>
#include <cstdint>
#include <vector>

namespace quellomir {

// The files of `a`, in a's order, whose name no file of `b` has. Names are compared as
// exact bytes, letter case included; every file of `a` is judged on its own, so two
// same-named files both appear.
std::vector<std::uint32_t> FindMissing(const FileList& a, const FileList& b, Yielder& yielder);

// Appends an overwrite row for every pair of same-named files, one of `a` and one of `b`,
// whose write times differ: the newer is the source, the older the destination. Rows
// come in the order of a first and b second, every pair judged. In the rows, `a` is
// Folder 1's side and `b` Folder 2's. Rows are appended unticked.
void FindNewer(const FileList& a, const FileList& b, std::vector<PlanRow>& rows, Yielder& yielder,
               TimeRule rule = TimeRule::SecondExact);

// Both rules from one look-up of each file of `a` in `b`'s index, which is what a plan of
// a million files a side waits for. Whether a file of `b` shares its name with some file
// of `a` is symmetric, so `namedInA` also gives FindMissing(b, a) without an index of `a`.
struct NameMatches {
    std::vector<std::uint32_t> missing; // FindMissing(a, b)
    std::vector<PlanRow> newer;         // FindNewer(a, b)
    std::vector<bool> namedInA;         // one for each file of b
    // Files of a matched name that occurs more than once on either side: in a, each
    // occurrence after the first; in b, every file of that name, so that each of the
    // name's pairs shows it.
    std::vector<bool> repeatedInA; // one for each file of a
    std::vector<bool> repeatedInB; // one for each file of b
};
// With `folderInB` (one for each folder of `a`: the folder of `b` at the same place, or
// NameIndex::None), a file of `a` pairs only with the file of its name in that folder: files
// pair by their place, and no name counts as repeated.
NameMatches matchNames(const FileList& a, const NameIndex& b, Yielder& yielder,
                       TimeRule rule = TimeRule::SecondExact,
                       const std::vector<std::uint32_t>* folderInB = nullptr);

// The files whose entry in `named` is false, in order: FindMissing(b, a) from matchNames.
std::vector<std::uint32_t> filesNotNamed(const std::vector<bool>& named);

} // namespace quellomir
