#pragma once

#include <cstdint>
#include <string_view>

namespace quellomir {

enum class RowAction : std::uint8_t { Copy, Overwrite, Neither };

// What a row's "Action" text asks for: "copied" anywhere in it makes a copy, else
// "overwrite" anywhere an overwrite; both tests are case-sensitive, and a text holding
// both counts as a copy.
RowAction rowAction(std::string_view actionText);

} // namespace quellomir
