#pragma once

#include "compare/plan.h"

#include <cstdint>
#include <vector>

namespace quellomir {

enum class PlanColumn : std::uint8_t { Source, Action, Destination };

// The plan's rows in the order of one column's text, for a list sorted by a click on its
// header; the plan itself keeps its order, which is the order a sync carries rows out in.
// Paths sort folder by folder and then by name within a folder, letter case aside (and then
// by case); rows whose texts are equal keep the plan's order in either direction.
std::vector<std::uint32_t> rowsInOrderOf(const Plan& plan, PlanColumn column, bool descending);

} // namespace quellomir
