#include "sync/sync_end_message.h"

#include "files/path_form.h"

namespace quellomir {

std::string syncEndMessage(const Plan& plan, const std::vector<std::string>& notes,
                           const std::function<std::string(std::string_view)>& shown,
                           const std::string& logPath) {
    auto line = [&](const std::string& text) { return shown ? shown(text) : text; };
    constexpr std::size_t ShownFailures = 10;
    std::string message = "Done.";
    std::string lines;
    std::size_t failed = 0;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        if (plan.rows()[row].outcome != Outcome::Failed) continue;
        if (++failed > ShownFailures) continue;
        const std::string action = plan.actionText(row);
        lines += "\r" + line(toUserPath(plan.sourceText(row)) + " \u2014 " +
                             action.substr(FailedActionPrefix.size()));
    }
    if (failed != 0) {
        message += "\r\r" + std::to_string(failed) + (failed == 1 ? " ticked row" : " ticked rows") +
                   " could not be copied:" + lines;
        if (failed > ShownFailures)
            message += "\r\u2026 and " + std::to_string(failed - ShownFailures) + " more";
        if (!logPath.empty())
            message += (failed > ShownFailures ? "; every row is in " : "\rEvery row is in ") + line(logPath);
    }
    for (std::size_t i = 0; i < notes.size(); ++i)
        message += (i == 0 ? "\r\r" : "\r") + line(notes[i]);
    return message;
}

} // namespace quellomir
