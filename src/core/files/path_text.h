#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// Path splitting at the last '/'. Texts only: neither looks at the disk.

// The text after the last separator; the whole path when it has none; empty when
// the path ends with one.
std::string GetFileName(std::string_view path);

// The text up to and including the last separator; empty when there is none.
std::string GetParentFolder(std::string_view path);

} // namespace quellomir
