#pragma once

#include "files/code_page.h"

#include <string_view>

namespace quellomir {

// True when a character of the folder name is one the program will not carry: a
// control character, 127 to 159, "?", a character the code page has no code for, a
// double-byte character, or a byte that is not valid UTF-8. False for an empty name.
bool HasUnsafeChars(std::string_view name, const CodePage& codePage);

} // namespace quellomir
