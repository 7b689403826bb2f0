#pragma once

#include "compare/plan.h"
#include "sync/sync_session.h"

namespace quellomir {

// The rows of a sync run without a window (SyncDriver with MarkingObserver): every ticked
// row in list order, carried out as its action text says and marked done or failed; rows
// whose text asks for neither are left as they are. The session's flush is still to come.
void syncRows(Plan& plan, SyncSession& session);

// The whole sync run without a window: syncRows, then the session's flush. For the
// benchmark and tests; the window's handler does the same under its numbered statements.
void syncPlan(Plan& plan, SyncSession& session);

} // namespace quellomir
