#include "cli/command_line_run.h"

#include "cli/terminal_progress.h"
#include "compare/compare_run.h"
#include "compare/row_details.h"
#include "files/error_text.h"
#include "files/path_form.h"
#include "files/printed_text.h"
#include "files/readable_folder.h"
#include "sync/carry_out_row.h"
#include "sync/sync_driver.h"
#include "sync/sync_end_message.h"

#ifndef _WIN32
#include <poll.h>
#endif

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

namespace quellomir {
namespace {

// Whether the reader of `out` went away, which a pipe tells without a write. A Windows pipe
// tells it only to the next write.
bool readerWentAway(std::FILE* out) {
#ifdef _WIN32
    (void)out;
    return false;
#else
    const int fd = ::fileno(out);
    pollfd output{fd, 0, 0};
    return fd >= 0 && ::poll(&output, 1, 0) == 1 && (output.revents & POLLERR) != 0;
#endif
}

// Failures of the scan, which the window shows in its error box, as lines on the terminal.
class PrintedReport final : public ErrorReport {
  public:
    PrintedReport(TerminalProgress& progress, std::FILE* err) : m_progress(progress), m_err(err) {}
    void report(const std::string& description, const std::string& location, int line) override {
        m_progress.clear();
        std::fprintf(m_err, "quellomir: %s (%sat line %d)\n", escapedForPrinting(description).c_str(),
                     location.c_str(), line);
        ++count;
    }
    int count = 0;

  private:
    TerminalProgress& m_progress;
    std::FILE* m_err;
};

// A row as three columns, into `line`, which is reused from row to row. The action goes
// without the window's leading blank, so that a script finds "will be copied to" as a field
// of its own.
void rowLine(std::string& line, const Plan& plan, std::size_t row, bool null) {
    line.clear();
    std::string action = plan.actionText(row);
    if (action.starts_with(' ')) action.erase(0, 1);
    const std::string fields[] = {toUserPath(plan.sourceText(row)), action,
                                  toUserPath(plan.destinationText(row))};
    for (std::size_t i = 0; i < 3; ++i) {
        if (null) {
            line += fields[i];
            line += '\0';
        } else {
            appendEscapedForPrinting(line, fields[i]);
            line += i < 2 ? '\t' : '\n';
        }
    }
}

// Writes `text` whole, NUL bytes too.
bool put(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

// The plan's size: its rows of each kind, and `bytes`, what their sources held when listed.
std::string summaryLine(const Plan& plan, std::uint64_t bytes) {
    std::size_t into2 = 0;
    std::size_t into1 = 0;
    std::size_t overwrites = 0;
    // The rows the window marks, for a script to stop on: files paired by name only.
    std::size_t across = 0;
    std::size_t repeated = 0;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const PlanRow& r = plan.rows()[row];
        if (r.kind == RowKind::Overwrite)
            ++overwrites;
        else
            ++(r.sourceSide == Side::Folder1 ? into2 : into1);
        across += pairsDifferentSubfolders(plan, row);
        repeated += nameRepeats(plan, row);
    }
    return plural(plan.size(), "row", "rows") + ": " + plural(into2, "copy row", "copy rows") +
           " from Folder 1 to Folder 2, " + plural(into1, "copy row", "copy rows") +
           " from Folder 2 to Folder 1, " + plural(overwrites, "overwrite row", "overwrite rows") + "; " +
           plural(bytes, "byte", "bytes") + " to copy" +
           (across ? "; " + plural(across, "row", "rows") + " across subfolders" : "") +
           (repeated ? "; " + plural(repeated, "row", "rows") + " with a name that occurs more than once"
                     : "") +
           (plan.pairing() == Pairing::ByPlace ? "; files paired by their place (--pair-by=path)" : "") +
           "\n";
}

int outputNotWritten(const Terminal& terminal, int error) {
    // A reader that went away (`| head`) wanted no more: nothing to say.
    if (error != EPIPE)
        std::fprintf(terminal.err, "quellomir: the output could not be written: %s\n",
                     errorText(error).c_str());
    return ExitUsage;
}

class Run {
  public:
    Run(const CommandLine& line, FileSystem& fs, const CodePage& codePage, const Terminal& terminal)
        : m_line(line), m_fs(fs), m_codePage(codePage), m_terminal(terminal),
          m_progress(terminal.err, terminal.progress && !line.quiet, terminal.interrupted),
          m_report(m_progress, terminal.err) {}

    int carryOut() {
        const std::vector<std::string> unreadable = unreadableFolders(m_fs, m_line.folder1, m_line.folder2);
        for (const std::string& why : unreadable)
            std::fprintf(m_terminal.err, "quellomir: %s\n", escapedForPrinting(why).c_str());
        if (!unreadable.empty()) return ExitUsage;
        try {
            Plan plan = compare();
            return m_line.mode == CommandLine::Mode::Compare ? printPlan(plan) : sync(plan);
        } catch (const Interrupted&) {
            m_progress.clear();
            std::fprintf(m_terminal.err, "quellomir: interrupted before anything was copied\n");
            return ExitInterrupted;
        }
    }

  private:
    Plan compare() {
        NumberedHandler h(m_report, CompareRunLocation);
        std::size_t listed = 0;
        m_progress.showListing(listed);
        CompareContext context{m_fs, m_codePage, m_report, m_progress, listed};
        context.unread = &m_unread;
        context.pairing = m_line.pairByPlace ? Pairing::ByPlace : Pairing::ByName;
        context.exclusions = Exclusions(m_line.exclude);
        Plan plan = compareFolders(
            h, [&] { return m_line.folder1; }, [&] { return m_line.folder2; }, context);
        m_progress.clear();
        for (const std::string& note : plan.notes())
            std::fprintf(m_terminal.err, "quellomir: %s\n", note.c_str());
        for (const UnreadParts::Part& part : m_unread.parts())
            std::fprintf(m_terminal.err, "quellomir: could not be read, not in the plan: %s \u2014 %s\n",
                         escapedForPrinting(toUserPath(part.path)).c_str(),
                         escapedForPrinting(part.reason).c_str());
        return plan;
    }

    // Both sides were read whole: nothing the plan may lack went unreported.
    bool wholeSides() const { return m_report.count == 0 && m_unread.empty(); }

    int printPlan(const Plan& plan) {
        if (!m_line.quiet) {
            // The sizes are those the scan read: no drive is asked again.
            std::uint64_t bytes = 0;
            for (std::size_t row = 0; row < plan.size(); ++row) {
                rowLine(m_text, plan, row, m_line.null);
                put(m_terminal.out, m_text);
                bytes += plan.sourceFile(row).size();
            }
            // Beside the rows, not among them: `| wc -l` counts rows.
            std::fputs(summaryLine(plan, bytes).c_str(), m_terminal.err);
        }
        // A folder that could not be scanned whole may hide rows: that is not "nothing to do".
        return plan.size() == 0 && wholeSides() ? ExitNothingToDo : ExitRowsOrFailures;
    }

    void print(const Plan& plan, std::size_t row) {
        if (m_line.quiet && plan.rows()[row].outcome != Outcome::Failed) return;
        rowLine(m_text, plan, row, m_line.null);
        write(m_text);
    }

    // A row held back is not written, yet a reader that went away should stop the run as soon
    // as a written one would: a pipe tells it without a write.
    void stopIfReaderWentAway() {
        if (m_outputError != 0 || !readerWentAway(m_terminal.out)) return;
        m_outputError = EPIPE;
        m_progress.stop();
    }

    // A reader that went away (`| head -1`) or a full disk under the output stops the run as
    // Ctrl+C does: what was copied is finished, nothing more is printed, and the exit status
    // says that the output is incomplete.
    void write(const std::string& text) {
        if (m_outputError != 0) return;
        m_progress.clear();
        errno = 0;
        if (!put(m_terminal.out, text) || std::fflush(m_terminal.out) != 0) {
            m_outputError = errno != 0 ? errno : EIO;
            m_progress.stop();
        }
    }

    // Paired by name, a camera's IMG_0001.JPG in one album pairs with another album's: a
    // script has to say that this is what it wants before any such file is replaced.
    int refuseUnchosenPairing(const Plan& plan) {
        std::size_t across = 0;
        for (std::size_t row = 0; row < plan.size(); ++row)
            if (pairsDifferentSubfolders(plan, row)) ++across;
        if (across == 0) return ExitNothingToDo;
        std::fprintf(m_terminal.err,
                     "quellomir: %zu %s would replace a file of another subfolder with one of the same "
                     "name, which may be a different file (photos that share a camera's number); nothing "
                     "was written. Choose --pair-by=path to pair files by their place, or --pair-by=name "
                     "to sync these rows too.\n",
                     across, across == 1 ? "row" : "rows");
        return ExitPairingUnconfirmed;
    }

    // The rows as the command line runs them: every one (all are ticked; one whose text asks
    // for neither fails for that), its progress shown, its outcome printed once.
    class PrintedRows final : public MarkingObserver {
      public:
        PrintedRows(Run& run, Plan& plan, const SyncSession& session)
            : MarkingObserver(plan), printed(plan.size(), Outcome::Pending), m_run(run), m_session(session) {}

        std::optional<RowTurn> rowTurn(const Plan& plan, std::size_t row) override {
            m_run.m_progress.showRow(row + 1, plan.size());
            const RowAction action = rowAction(plan.actionText(row));
            return RowTurn{action, resolveRow(plan, row, action)};
        }
        void rowFinished(std::size_t row, const CopyResult& result) override {
            MarkingObserver::rowFinished(row, result);
            if (result.done) m_run.m_progress.addBytes(result.bytes);
            // A row has one outcome, printed once: one whose copy the end still flushes is
            // printed after that.
            if (result.done && m_session.waitsForEnd(row)) {
                m_run.stopIfReaderWentAway();
                return;
            }
            printed[row] = m_plan.rows()[row].outcome;
            m_run.print(m_plan, row);
        }

        std::vector<Outcome> printed; // what was printed of each row
      private:
        Run& m_run;
        const SyncSession& m_session;
    };

    int sync(Plan& plan) {
        if (!m_line.pairingChosen)
            if (int refused = refuseUnchosenPairing(plan)) return refused;
        plan.setAllChecked(true);
        SyncSession session(m_fs, m_progress);
        PrintedRows rows(*this, plan, session);
        SyncDriver driver(session, rows);
        driver.finishEarlierRuns(plan);
        std::vector<Outcome>& printed = rows.printed;
        bool interrupted = false;
        try {
            driver.runRows(plan);
        } catch (const Interrupted&) {
            interrupted = true; // the row under way was undone as the exception left it
        }
        // The rows copied so far are finished whatever happened: flushed and given their times.
        try {
            driver.finish(
                [&](std::size_t row, std::string reason) { plan.markFailed(row, std::move(reason)); });
        } catch (const Interrupted&) {
            interrupted = true; // the flush and the times went on to their end first
        }
        m_progress.clear();
        // Rows the flush failed after all, and rows whose copies were made ahead of a stop
        // and finished by it.
        for (std::size_t row = 0; row < plan.size(); ++row)
            if (printed[row] != plan.rows()[row].outcome && plan.rows()[row].outcome != Outcome::Pending)
                print(plan, row);
        return finish(plan, session, interrupted);
    }

    int finish(const Plan& plan, const SyncSession& session, bool interrupted) {
        const auto done = std::count_if(plan.rows().begin(), plan.rows().end(),
                                        [](const PlanRow& r) { return r.outcome == Outcome::Done; });
        const auto failed = std::count_if(plan.rows().begin(), plan.rows().end(),
                                          [](const PlanRow& r) { return r.outcome == Outcome::Failed; });
        // The end message says "Done." to a run that went to its end; a quiet run, a nightly
        // job's, says it only when a row failed, so that a mail comes only then.
        const bool endMessage = !interrupted && (!m_line.quiet || failed > 0);
        if (endMessage || !session.notes().empty()) {
            std::string message =
                endMessage ? syncEndMessage(plan, session.notes(), escapedForPrinting) : std::string();
            if (!endMessage)
                for (const std::string& note : session.notes())
                    message += escapedForPrinting(note) + '\r';
            std::replace(message.begin(), message.end(), '\r', '\n');
            if (!message.ends_with('\n')) message += '\n';
            // Beside the rows, as the summary of compare: the output holds rows only.
            m_progress.clear();
            std::fputs(message.c_str(), m_terminal.err);
        }
        if (interrupted) {
            const std::string cause = m_outputError != 0 ? "the output could not be written (" +
                                                               errorText(m_outputError) + "): stopped"
                                                         : "interrupted";
            std::fprintf(m_terminal.err,
                         "quellomir: %s after %ld of %zu rows (%ld done, %ld failed); the copies made are "
                         "finished\n",
                         cause.c_str(), long(done + failed), plan.size(), long(done), long(failed));
            return m_outputError != 0 ? ExitUsage : ExitInterrupted;
        }
        if (m_outputError != 0) return outputNotWritten(m_terminal, m_outputError);
        return failed == 0 && wholeSides() ? ExitNothingToDo : ExitRowsOrFailures;
    }

    const CommandLine& m_line;
    FileSystem& m_fs;
    const CodePage& m_codePage;
    const Terminal& m_terminal;
    TerminalProgress m_progress;
    PrintedReport m_report;
    UnreadParts m_unread;
    int m_outputError = 0; // why the output could not be written, once it could not
    std::string m_text;    // the row being printed

  public:
    bool outputFailed() const { return m_outputError != 0; }
};

// What was printed must have reached the output: a full disk under it is not success.
int checkedOutput(const Terminal& terminal, int status) {
    errno = 0;
    if (std::fflush(terminal.out) == 0 && !std::ferror(terminal.out)) return status;
    return outputNotWritten(terminal, errno != 0 ? errno : EIO);
}

} // namespace

int runCommandLine(const CommandLine& line, FileSystem& fs, const CodePage& codePage,
                   const Terminal& terminal) {
    switch (line.mode) {
    case CommandLine::Mode::Help:
        std::fputs(usageText().data(), terminal.out);
        return checkedOutput(terminal, ExitNothingToDo);
    case CommandLine::Mode::Version:
        std::fprintf(terminal.out, "quellomir %s\n", QUELLOMIR_VERSION);
        return checkedOutput(terminal, ExitNothingToDo);
    case CommandLine::Mode::Wrong:
        std::fprintf(terminal.err, "quellomir: %s\nTry \"quellomir --help\" for more.\n", line.wrong.c_str());
        return ExitUsage;
    case CommandLine::Mode::Compare:
    case CommandLine::Mode::Sync:
        break;
    case CommandLine::Mode::Window:
        return ExitUsage; // the window is not the command line's to open
    }
    Run run(line, fs, codePage, terminal);
    const int status = run.carryOut();
    return run.outputFailed() ? status : checkedOutput(terminal, status);
}

} // namespace quellomir
