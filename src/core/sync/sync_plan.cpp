#include "sync/sync_plan.h"

#include "sync/carry_out_row.h"

namespace quellomir {

void syncRows(Plan& plan, SyncSession& session) {
    session.finishEarlierRuns(plan);
    const std::size_t rows = plan.size();
    for (std::size_t row = 0; row < rows; ++row) {
        if (!plan.rows()[row].checked) continue;
        const RowAction action = rowAction(plan.actionText(row));
        if (action == RowAction::Neither) continue;
        CopyResult result = carryOutRow(plan, row, action, session);
        if (result.done)
            plan.markDone(row);
        else
            plan.markFailed(row, std::move(result.reason));
    }
}

void syncPlan(Plan& plan, SyncSession& session) {
    syncRows(plan, session);
    session.flush(plan);
}

} // namespace quellomir
