#pragma once

#include "compare/plan.h"
#include "sync/copy_result.h"
#include "sync/row_action.h"
#include "sync/sync_reasons.h"
#include "sync/sync_session.h"

#include <cstddef>
#include <string>

namespace quellomir {

// Carries out row `row` of `plan` as `action` (from the row's action text) says, and tells
// what happened; marking the row is the caller's. A copy row copies its source into its
// destination folder under the source's file name; it is refused when a file of that name is
// there that no earlier row of this run wrote (on a drive that ignores letter case, also
// one whose name differs only in case). An overwrite row replaces its destination by its
// source; it is refused when the destination's last-write time is no longer the one the
// comparison saw, unless an earlier row of this run wrote it. Either kind is refused when
// its source is no longer the file the comparison saw (another time, a link in place of a
// file) or was replaced by an earlier row of this run, and when its destination's folder
// does not lie within the chosen folder. Throws only what reading the row or the window's
// turn throws.
CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, SyncSession& session);

// The same in its steps, for a caller that reports each apart: the row resolved once from
// the plan at its turn (`sourceText` as the caller read it), then carried out. The plan is
// read again only for the rows after it that may be made ahead.
ResolvedRow resolveRow(const Plan& plan, std::size_t row, RowAction action, const std::string& sourceText);
ResolvedRow resolveRow(const Plan& plan, std::size_t row, RowAction action);
CopyResult carryOutRow(const Plan& plan, const ResolvedRow& row, SyncSession& session);

} // namespace quellomir
