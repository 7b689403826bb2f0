#pragma once

#include "compare/plan.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quellomir {

// The record a sync leaves, so that its rows are not lost when the plan is emptied: when
// it ran, the two folders, how many rows ended how, then one line per row with its
// outcome (a failure with its reason), source, action and destination, tab-separated, and
// last the run's notes. Each path and reason passes through `shown`, which keeps a file
// name from forging a line.
std::string syncLogText(const Plan& plan, std::string_view when, bool stopped,
                        const std::vector<std::string>& notes,
                        const std::function<std::string(std::string_view)>& shown);

} // namespace quellomir
