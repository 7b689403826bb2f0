#pragma once

#include "measure.h"

#include <string>

namespace quellomir::bench {

// The least a walk can do: list every folder once and stat each non-folder entry once,
// relative to the open folder, keeping nothing. The floor any scan is held against.
Measured bareWalk(const std::string& root);

} // namespace quellomir::bench
