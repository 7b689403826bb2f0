#include "files/letter_case.h"

#include <cctype>
#include <cwctype>
#include <locale.h>

namespace quellomir {

char32_t lowerCaseLetter(char32_t point) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return utf8           ? char32_t(towlower_l(wint_t(point), utf8))
           : point < 0x80 ? char32_t(std::tolower(int(point)))
                          : point;
}

} // namespace quellomir
