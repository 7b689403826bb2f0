#include "sync/sync_driver.h"

namespace quellomir {

std::optional<RowTurn> SyncRunObserver::rowTurn(const Plan& plan, std::size_t row) {
    if (!plan.rows()[row].checked) return std::nullopt;
    const RowAction action = rowAction(plan.actionText(row));
    if (action == RowAction::Neither) return std::nullopt;
    return RowTurn{action, resolveRow(plan, row, action)};
}

void SyncDriver::finishEarlierRuns(const Plan& plan) {
    m_observer.onRowThread([&] { m_session.finishEarlierRuns(plan); });
}

void SyncDriver::passOver(std::size_t row) {
    if (m_session.prepared(row)) m_observer.onRowThread([&] { m_session.passOver(row); });
}

void SyncDriver::runRows(const Plan& plan) {
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const std::optional<RowTurn> turn = m_observer.rowTurn(plan, row);
        if (!turn || !turn->row) passOver(row);
        if (!turn) continue;
        std::optional<CopyResult> result;
        if (turn->row)
            m_observer.carryOut(row, turn->action,
                                [&] { result = carryOutRow(plan, *turn->row, m_session); });
        // A row that could not even be tried (its paths or its run failed to start) is no "Done".
        if (!result) result = CopyResult::failure(std::string("the copy was not carried out"));
        m_observer.rowFinished(row, *result);
    }
}

void SyncDriver::finish(const std::function<void(std::size_t row, std::string reason)>& failed) {
    m_observer.onRowThread([&] { m_session.flush(failed); });
}

void MarkingObserver::rowFinished(std::size_t row, const CopyResult& result) {
    if (result.done)
        m_plan.markDone(row);
    else
        m_plan.markFailed(row, result.reason);
}

} // namespace quellomir
