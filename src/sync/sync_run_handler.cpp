#include "app/form1.h"
#include "app/row_thread.h"
#include "app/settings_store.h"
#include "app/window_yielder.h"
#include "compare/row_details.h"
#include "files/printed_text.h"
#include "handler/addresses.h"
#include "handler/numbered_handler.h"
#include "sync/carry_out_row.h"
#include "sync/row_action.h"
#include "sync/sync_driver.h"
#include "sync/sync_end_message.h"
#include "sync/sync_log.h"
#include "sync/sync_log_file.h"
#include "sync/sync_session.h"

#include <QLocale>
#include <QStringList>
#include <QTreeView>

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace quellomir {
namespace {

// Whether the files that overwrite rows replace go to the Trash: yes, unless the user's
// settings file says "KeepReplacedFiles=false" (or 0, no, off).
bool keepsReplacedFiles(const SettingsStore& settings) {
    const QString value = settings.read(QStringLiteral("KeepReplacedFiles"), QString()).trimmed().toLower();
    return !QStringList{"false", "0", "no", "off"}.contains(value);
}

} // namespace

// The window's part in the rows of a sync run: each step of a row's turn under its own
// statement, the row run off the window's thread, its mark made on the plan the window shows.
class Form1::WindowRows final : public SyncRunObserver {
  public:
    WindowRows(Form1& form, NumberedHandler& h, Yielder& yielder,
               const std::function<void(const std::function<void()>&)>& onRowThread)
        : m_form(form), m_h(h), m_yielder(yielder), m_onRowThread(onRowThread) {}

    std::optional<RowTurn> rowTurn(const Plan& plan, std::size_t row) override {
        const int i = int(row) + 1;
        if (i > m_form.m_syncRows) return std::nullopt;
        m_form.m_syncRow = i;
        // The row under way stays in view, wherever the user scrolled to before.
        m_form.ListView3->scrollTo(m_form.m_plan.indexOfRow(i));
        m_h.run(108, [&] { m_yielder.tick(); });
        if (m_h.testLeave(110, [&] { return !m_form.m_plan.checked(i); })) return std::nullopt;
        // Each row is read afresh: a row that cannot be read is skipped rather than carried
        // out with what an earlier row left behind.
        std::optional<RowAction> action;
        m_h.run(112, [&] { action = rowAction(m_form.m_plan.actionText(i).toStdString()); });
        if (!action) return std::nullopt;
        if (*action == RowAction::Neither) {
            m_h.run(134, [&] {
                m_form.showMessage(QStringLiteral("Email screenshot to ") +
                                   QString::fromLatin1(addresses::SupportEmail));
            });
            return std::nullopt;
        }
        const bool copy = *action == RowAction::Copy;
        m_copy = copy;
        RowTurn turn{*action, std::nullopt};
        std::string source;
        m_h.run(copy ? 114 : 124, [&] { source = plan.sourceText(row); });
        m_h.run(copy ? 116 : 126, [&] { turn.row = resolveRow(plan, row, *action, source); });
        return turn;
    }

    void onRowThread(const std::function<void()>& work) override { m_onRowThread(work); }

    // The older file goes to the Trash within the copy, once the copy is safe on the disk, so
    // the removal of 128 is part of 130.
    void carryOut(std::size_t, RowAction action, const std::function<void()>& work) override {
        m_h.run(action == RowAction::Copy ? 118 : 130, [&] { m_onRowThread(work); });
    }

    void rowFinished(std::size_t row, const CopyResult& result) override {
        const int i = int(row) + 1;
        m_h.run(m_copy ? 120 : 132, [&] {
            if (result.done)
                m_form.m_plan.markDone(i);
            else
                m_form.m_plan.markFailed(i, result.reason);
        });
        if (result.done) m_form.m_syncBytesDone += std::uint64_t(std::max<std::int64_t>(result.bytes, 0));
    }

  private:
    Form1& m_form;
    NumberedHandler& m_h;
    Yielder& m_yielder;
    std::function<void(const std::function<void()>&)> m_onRowThread;
    bool m_copy = true; // the kind of the row under way, as its turn read it
};

void Form1::PushButton6_Click() {
    if (m_running || !rowsAcrossSubfoldersAgreed()) return;
    carryOutRun(
        tr("syncing"),
        [this] {
            const QLocale english(QLocale::English);
            if (m_syncRows == 0) return tr("the plan is empty");
            // Inside a long copy the bytes move on while the row does not.
            const std::uint64_t copied =
                m_syncBytesDone +
                std::uint64_t(m_syncSession ? std::max<std::int64_t>(m_syncSession->bytesUnderWay(), 0) : 0);
            return tr("row %1 of %2, %3 of %4")
                       .arg(english.toString(m_syncRow), english.toString(m_syncRows),
                            QString::fromStdString(sizeText(std::min(copied, m_syncBytes))),
                            QString::fromStdString(sizeText(m_syncBytes))) +
                   unansweredNote(m_env.unansweredAfter);
        },
        [this](WindowYielder& window) { carryOutPlan(window); });
}

bool Form1::rowsAcrossSubfoldersAgreed() {
    const Plan& plan = m_plan.plan();
    std::size_t across = 0;
    for (std::size_t row = 0; row < plan.size(); ++row)
        if (plan.rows()[row].checked && pairsDifferentSubfolders(plan, row)) ++across;
    if (across == 0) return true;
    const QString count = QLocale(QLocale::English).toString(qulonglong(across));
    const QString text =
        (across == 1 ? tr("1 ticked row replaces a file of another subfolder with a file of the same name.")
                     : tr("%1 ticked rows replace a file of another subfolder with a file of the same name.")
                           .arg(count)) +
        QStringLiteral("\r\r") +
        tr("They may be different files: photos of two albums often share a camera's number, and "
           "syncing them would replace one album's photos with another's (the replaced ones go to the "
           "Trash).") +
        QStringLiteral("\r\r") +
        tr("To pair files by their place instead, cancel and choose \"Pair files by their place in the "
           "folders\" in the plan's menu (right-click the plan).");
    const int answer =
        m_env.dialogs.ask(this, text, m_applicationTitle,
                          {tr("Sync them too"), tr("Untick them and sync the rest"), tr("Cancel")});
    if (answer == 1) m_plan.setCheckedWhere(false, pairsDifferentSubfolders);
    return answer == 0 || answer == 1;
}

namespace {

// The turns of a sync started from the window: on the window's thread, the window's own,
// with `afterTurn` after each, a stop or not; on the thread the rows run on, a look whether
// the window was closed meanwhile.
class RunTurns final : public Yielder {
  public:
    RunTurns(WindowYielder& window, const RowThread& rows, const std::atomic<bool>& closed,
             std::function<void()> afterTurn)
        : m_window(window), m_rows(rows), m_closed(closed), m_afterTurn(std::move(afterTurn)) {}
    void tick() override {
        if (m_rows.isCurrent()) {
            if (m_closed.load(std::memory_order_relaxed)) throw RunCancelled{};
            return;
        }
        struct After {
            const std::function<void()>& afterTurn;
            ~After() { afterTurn(); }
        } after{m_afterTurn};
        m_window.tick();
    }

  private:
    WindowYielder& m_window;
    const RowThread& m_rows;
    const std::atomic<bool>& m_closed;
    const std::function<void()> m_afterTurn;
};

} // namespace

// Every ticked row in list order. A row reads "Done" only when its file really was
// copied; otherwise "Failed: " and the reason, and the end message counts it.
void Form1::carryOutPlan(WindowYielder& window) {
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.PushButton6_Click ");
    // Each row's work runs on a thread of its own, the window answering meanwhile.
    RowThread rows;
    std::atomic<bool> windowClosed{false};
    bool ended = false;
    const auto onRowThread = [&](const std::function<void()>& task) {
        rows.run(task, [&] { answerWhileRowRuns(window, windowClosed, ended); });
    };
    // A turn of the window's own that finds it closed while a drive holds a call of the run
    // (on an I/O thread, or a flush behind the rows) ends the program, as a row's wait does.
    RunTurns turns(window, rows, windowClosed, [&] { endIfHeldAfterClosing(windowClosed, ended); });
    Yielder& yielder = turns;
    SyncSession session(m_env.fs, yielder);
    m_syncRow = 0;
    m_syncRows = 0;
    session.setKeepingOffHint(
        " (to let replaced files go instead, add KeepReplacedFiles=false to the [Quellomir] "
        "group of " +
        SettingsStore::filePath().toStdString() + ")");
    // The setting is a step of its own: a store that cannot be read is reported, keeping stays
    // on, and the rows still run.
    h.run(104, [&] { session.setKeepReplacedFiles(keepsReplacedFiles(m_env.settings)); });
    h.run(106, [&] { m_syncRows = m_plan.count(); });
    m_syncBytes = 0;
    m_syncBytesDone = 0;
    for (std::size_t row = 0; row < m_plan.plan().size(); ++row)
        if (m_plan.plan().rows()[row].checked) m_syncBytes += m_plan.plan().sourceFile(row).size();
    m_syncSession = &session;
    struct ForgetSession {
        const SyncSession*& session;
        ~ForgetSession() { session = nullptr; }
    } forgetSession{m_syncSession};
    const QDateTime started = QDateTime::currentDateTime();
    m_recordBeforeEnding = [this, started] {
        QString failure;
        writeSyncLog(syncLogText(m_plan.plan(),
                                 started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString(), true,
                                 {}, escapedForPrinting),
                     started, failure);
    };
    struct Forget {
        std::function<void()>& record;
        ~Forget() { record = nullptr; }
    } forget{m_recordBeforeEnding};
    // The rows read the plan as it was when the run started; their ticks and texts are read
    // from the list at each turn, and their marks made there.
    const auto plan = m_plan.sharedPlan();
    WindowRows rowTurns(*this, h, yielder, onRowThread);
    SyncDriver driver(session, rowTurns);
    driver.finishEarlierRuns(*plan);
    // Closing the window stops the run after the row under way, which is finished or
    // undone; the copies made so far are still flushed and given their times below, and
    // the stop ends the run after that.
    std::exception_ptr closed;
    try {
        driver.runRows(*plan);
    } catch (const RunCancelled&) {
        closed = std::current_exception();
    }
    // Copies to names that were free are flushed together; one that cannot be is failed after all.
    // The flush runs on the rows' thread, where a drive that stops answering cannot hold the
    // window; its marks are made here after it, on the plan the window shows.
    h.run(136, [&] {
        std::vector<std::pair<std::size_t, std::string>> failures;
        std::exception_ptr stopped;
        try {
            driver.finish(
                [&](std::size_t row, std::string reason) { failures.emplace_back(row, std::move(reason)); });
        } catch (const RunCancelled&) {
            stopped = std::current_exception(); // the flush went on to its end first
        }
        m_plan.edit([&](Plan& plan) {
            for (auto& [row, reason] : failures)
                plan.markFailed(row, std::move(reason));
        });
        if (stopped && !closed) closed = stopped;
    });
    // Every run leaves a record of every row, a stopped one too: the plan is emptied below.
    const QDateTime now = QDateTime::currentDateTime();
    QString log, logFailure;
    if (m_plan.count() > 0)
        log = writeSyncLog(syncLogText(m_plan.plan(),
                                       now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString(),
                                       closed != nullptr, session.notes(), escapedForPrinting),
                           now, logFailure);
    if (closed) std::rethrow_exception(closed);
    // The caption names the last row while the end message is open, not the one of the last turn.
    window.showProgress();
    h.run(138, [&] {
        QString message = QString::fromStdString(
            syncEndMessage(m_plan.plan(), session.notes(), {}, shownFromHome(log).toStdString()));
        if (m_plan.count() > 0 && log.isEmpty())
            message += QStringLiteral("\r\rNo record of this sync could be written in %1: %2")
                           .arg(shownFromHome(syncLogFolder()), logFailure);
        showMessage(message);
    });
    h.run(140, [&] { m_plan.clear(); });
}

} // namespace quellomir
