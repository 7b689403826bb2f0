#include "scan/unsafe_chars.h"

namespace quellomir {

bool HasUnsafeChars(std::string_view name, const CodePage& codePage) {
    for (std::size_t at = 0, length = 0; at < name.size(); at += length) {
        int code = codePage.characterCode(name, at, length);
        bool acceptable = (code >= 160 || code <= 126) && code >= 32 && code != '?';
        if (!acceptable) return true;
    }
    return false;
}

} // namespace quellomir
