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

// `name` inside `folder`, with exactly one separator between them whether or not the
// folder text ends with one (or several): a folder text from elsewhere, such as a
// hand-edited setting, must not make a file land beside the folder. An empty folder
// gives the name alone.
std::string joinPath(std::string_view folder, std::string_view name);

} // namespace quellomir
