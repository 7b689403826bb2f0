#pragma once

namespace quellomir {

// The small letter of a Unicode code point, as the system lowers letters regardless of the
// user's language; any other point as it is.
char32_t lowerCaseLetter(char32_t point);

} // namespace quellomir
