#pragma once

#include "compare/plan.h"
#include "sync/carry_out_row.h"
#include "sync/copy_result.h"
#include "sync/row_action.h"
#include "sync/sync_session.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace quellomir {

// A row whose turn came, as its front end read it: what it asks for, and the row resolved
// once its paths could be read (a row whose paths could not be read fails untried).
struct RowTurn {
    RowAction action = RowAction::Neither;
    std::optional<ResolvedRow> row;
};

// What a front end keeps of a sync run: whether each row runs and as what, where the work
// runs, and what it shows of each outcome. The driver does the rest.
class SyncRunObserver {
  public:
    virtual ~SyncRunObserver() = default;

    // At row `row`'s turn: nothing passes over it (unticked by now, unreadable, or asking for
    // neither a copy nor an overwrite), and whatever was made ahead for it is undone. By
    // default a ticked row of `plan` runs as its action text says, resolved from the plan.
    virtual std::optional<RowTurn> rowTurn(const Plan& plan, std::size_t row);
    // Runs work of the run's: the earlier runs' finish, a row, a pass-over, the flush. The
    // window runs it off its own thread, answering meanwhile.
    virtual void onRowThread(const std::function<void()>& work) { work(); }
    // Runs the row itself; by default on the row thread.
    virtual void carryOut(std::size_t /*row*/, RowAction /*action*/, const std::function<void()>& work) {
        onRowThread(work);
    }
    // How row `row` went.
    virtual void rowFinished(std::size_t row, const CopyResult& result) = 0;
};

// The one loop of a sync run, under the window, the command line and the benchmarks alike:
// what earlier runs left is dealt with first, then every row in list order, then the copies
// whose flush was left to the end are finished.
class SyncDriver {
  public:
    SyncDriver(SyncSession& session, SyncRunObserver& observer) : m_session(session), m_observer(observer) {}

    void finishEarlierRuns(const Plan& plan);
    // The rows, in list order. A stop thrown from a row or from the window's turn leaves here
    // with the row under way finished or undone; finish() is still due.
    void runRows(const Plan& plan);
    // Finishes the copies made so far, after the last row or a stop: `failed` for a row whose
    // copy could not be flushed or given its time after all (it was told done).
    void finish(const std::function<void(std::size_t row, std::string reason)>& failed);

  private:
    void passOver(std::size_t row);

    SyncSession& m_session;
    SyncRunObserver& m_observer;
};

// An observer that marks each row of `plan` done or failed, as a run without a window does.
class MarkingObserver : public SyncRunObserver {
  public:
    explicit MarkingObserver(Plan& plan) : m_plan(plan) {}
    void rowFinished(std::size_t row, const CopyResult& result) override;

  protected:
    Plan& m_plan;
};

} // namespace quellomir
