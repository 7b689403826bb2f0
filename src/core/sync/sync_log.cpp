#include "sync/sync_log.h"

namespace quellomir {
namespace {

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return std::string(text);
}

} // namespace

std::string syncLogText(const Plan& plan, std::string_view when, bool stopped,
                        const std::vector<std::string>& notes,
                        const std::function<std::string(std::string_view)>& shown) {
    std::size_t done = 0, failed = 0, unticked = 0, left = 0;
    std::string rows;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const PlanRow& r = plan.rows()[row];
        std::string outcome;
        switch (r.outcome) {
        case Outcome::Done:
            ++done;
            outcome = "Done";
            break;
        case Outcome::Failed:
            ++failed;
            outcome = shown(plan.actionText(row));
            break;
        case Outcome::Pending:
            outcome = r.checked ? (++left, "Not carried out: the run was stopped first")
                                : (++unticked, "Not ticked");
            break;
        }
        const std::string action = trimmed(r.kind == RowKind::Copy ? CopyActionText : OverwriteActionText);
        rows += outcome + "\t" + shown(plan.sourceText(row)) + "\t" + action + "\t" +
                shown(plan.destinationText(row)) + "\n";
    }
    std::string text = "Quellomir sync of " + std::string(when) +
                       (stopped ? ", stopped before its end" : "") +
                       "\nFolder 1: " + shown(plan.folder(Side::Folder1)) +
                       "\nFolder 2: " + shown(plan.folder(Side::Folder2)) + "\n" +
                       std::to_string(plan.size()) + " rows: " + std::to_string(done) + " done, " +
                       std::to_string(failed) + " failed, " + std::to_string(unticked) + " not ticked";
    if (left != 0) text += ", " + std::to_string(left) + " not carried out";
    text += "\n\n" + rows;
    if (!notes.empty()) text += "\n";
    for (const std::string& note : notes)
        text += shown(note) + "\n";
    return text;
}

} // namespace quellomir
