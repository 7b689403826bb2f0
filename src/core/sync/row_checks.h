#pragma once

#include "compare/compare_rules.h"
#include "compare/plan.h"
#include "fs/file_system.h"
#include "sync/row_action.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellomir {

// What a row asks its copy to make sure of, beyond SafeFileCopy's own checks.
struct RowChecks {
    Side destinationSide = Side::Folder2;
    // The destination side's chosen folder: the copy is written only where it lies within.
    FolderIdentity top;
    std::string_view topPath; // looked up when a plan does not know `top`; the plan's text
    Follow followSource = Follow::Yes;
    std::optional<FileTime> plannedSourceTime;
    std::optional<std::int64_t> plannedSourceSize;
    // For a row that replaces a file the comparison listed: that file's time then.
    std::optional<FileTime> plannedDestinationTime;
    // How the comparison told equal times apart: a copy must come out equal by that rule.
    TimeRule timeRule = TimeRule::SecondExact;
    // A copy into the same subfolder on the other side makes the folders it needs there.
    bool makeFolders = false;
};

// What a copy is to replace at its destination.
enum class Replacing : std::uint8_t {
    Nothing,      // a file there makes the copy fail with EEXIST
    ThisRunsCopy, // what an earlier row of this run wrote
    OlderFile,    // a file that was there before the run
};

// A row of the plan resolved once, at its turn or when it is made ahead of it: its kind, its
// paths tidied as the copy uses them, and what its copy must make sure of. It flows down to
// the copy as it is; nothing below reads the plan for it again.
struct ResolvedRow {
    std::size_t row = 0;
    RowAction action = RowAction::Copy;
    std::string source;
    std::string destination; // the file's own path, by which the run knows what it wrote
    std::string folder;      // the destination's folder, ending with '/'
    std::string name;        // and its name there
    RowChecks checks;
};

} // namespace quellomir
