#include "sync/sync_plan.h"

#include "sync/sync_driver.h"

namespace quellomir {

void syncRows(Plan& plan, SyncSession& session) {
    MarkingObserver marks(plan);
    SyncDriver driver(session, marks);
    driver.finishEarlierRuns(plan);
    driver.runRows(plan);
}

void syncPlan(Plan& plan, SyncSession& session) {
    syncRows(plan, session);
    session.flush(plan);
}

} // namespace quellomir
