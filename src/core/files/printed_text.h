#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// A text as the command line prints it to a terminal or a script that splits lines at
// newlines and fields at tabs: a file name cannot forge a row or drive the terminal. A
// backslash becomes "\\", a tab, newline and carriage return "\t", "\n" and "\r", and every
// other control character (below 32, 127, and U+0080 to U+009F) or byte that is not part
// of valid UTF-8 becomes "\xHH", one for each byte. Everything else is left as it is.
std::string escapedForPrinting(std::string_view text);
// The same, appended to `out`.
void appendEscapedForPrinting(std::string& out, std::string_view text);

} // namespace quellomir
