#include "files/letter_case.h"

#include <windows.h>

namespace quellomir {

char32_t lowerCaseLetter(char32_t point) {
    // Letters beyond the 16-bit range have no case that a Windows drive folds.
    if (point > 0xFFFF || (point >= 0xD800 && point <= 0xDFFF)) return point;
    wchar_t letter = static_cast<wchar_t>(point);
    wchar_t lowered = letter;
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &letter, 1, &lowered, 1, nullptr, nullptr,
                        0) != 1)
        return point;
    return lowered;
}

} // namespace quellomir
