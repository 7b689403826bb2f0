#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// Tidies doubled separators ('/'): adjacent pairs become one in a single left-to-right
// pass, so a run of three gives two and a run of four gives two. A path that begins with
// the separator comes back with exactly one in front (Windows keeps two there for network
// paths; on Linux that has no meaning). A path of separators only gives "/".
std::string NormalizeBackslashes(std::string_view path);

} // namespace quellomir
