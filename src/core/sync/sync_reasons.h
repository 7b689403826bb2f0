#pragma once

#include "compare/plan_row.h"

#include <string>
#include <string_view>

namespace quellomir {

// Why a row of a sync run was not carried out, in words a user reads after "Failed: ".
inline constexpr std::string_view AppearedReason =
    "a file of that name appeared in the destination since the comparison";
inline constexpr std::string_view CaseBlindReason =
    "a file whose name differs only in letter case is there, and this drive does not tell letter case apart";
inline constexpr std::string_view FolderInTheWayReason = "a folder of that name is in the destination";
inline constexpr std::string_view ReplacedEarlierReason = "its source was replaced earlier in this sync";
inline constexpr std::string_view NeitherReason = "the action is neither a copy nor an overwrite";
inline constexpr std::string_view ChangedDuringSyncReason = "the file changed during the sync";
inline constexpr std::string_view NameNotHeldReason = "the drive cannot hold this name: ";
inline constexpr std::string_view TimeNotKeptReason = "the drive cannot keep this file's time";

inline std::string outsideReason(Side destinationSide) {
    return destinationSide == Side::Folder1 ? "the destination lies outside Folder 1"
                                            : "the destination lies outside Folder 2";
}

// The start of an end-message line about a leftover that could not be removed.
inline constexpr std::string_view LeftoverReason = "A leftover of an earlier sync could not be removed: ";

} // namespace quellomir
