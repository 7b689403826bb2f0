#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// The core keeps all text in UTF-8; Windows takes and gives UTF-16 (its "W" calls). Text is
// converted at those calls and nowhere else.

// UTF-8 to UTF-16. Bytes that are not UTF-8 become U+FFFD, as a name Windows could not
// hold anyway.
std::wstring toWide(std::string_view text);
// UTF-16 to UTF-8. A lone surrogate, which an NTFS name may hold, becomes U+FFFD.
std::string fromWide(std::wstring_view text);

} // namespace quellomir
