#pragma once

#include "compare/plan.h"
#include "sync/copy_result.h"
#include "sync/row_action.h"
#include "sync/sync_session.h"

#include <cstddef>
#include <string_view>

namespace quellomir {

// Why a row of a plan gone stale is not carried out.
inline constexpr std::string_view AppearedReason =
    "a file of that name appeared in the destination since the comparison";
inline constexpr std::string_view ChangedReason = "the file changed since the comparison";
inline constexpr std::string_view NeitherReason = "the action is neither a copy nor an overwrite";

// Carries out row `row` of `plan` as `action` (from the row's action text) says, and tells
// what happened; marking the row is the caller's. A copy row copies its source into its
// destination folder under the source's file name, the two texts joined as they are; it is
// refused when a file of that name is there that no earlier row of this run wrote (on a
// drive that ignores letter case, also one whose name differs only in case). An overwrite
// row replaces its destination by its source; it is refused when either file's last-write
// time is no longer the one the comparison saw, unless an earlier row of this run wrote
// it. Throws only what reading the row or the window's turn throws.
CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, SyncSession& session);

} // namespace quellomir
