#pragma once

#include "compare/plan.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quellomir {

// The message at the end of a sync run: "Done." when no row failed; otherwise "Done.",
// two carriage returns, how many ticked rows could not be copied, and a line
// "source — reason" for each of the first ten of them, and when there are more, a last
// line saying how many ("… and 5 more"). The run's `notes` (leftovers of killed runs that
// could not be removed) follow, after a blank line, one a line. `shown`, when given,
// turns each of those lines into the text printed for it (the command line escapes them).
// `logPath`, when given, names the record of every row after the list of failures.
std::string syncEndMessage(const Plan& plan, const std::vector<std::string>& notes = {},
                           const std::function<std::string(std::string_view)>& shown = {},
                           const std::string& logPath = {});

} // namespace quellomir
