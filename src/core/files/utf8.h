#pragma once

#include <cstddef>
#include <string_view>

namespace quellomir {

// One character of UTF-8 text: its length in bytes and its code point. A length of 0 where
// no well-formed character starts: an overlong form, a surrogate, a code point past
// U+10FFFF, a stray or missing continuation byte, a sequence cut short.
struct Utf8Character {
    std::size_t length = 0;
    char32_t point = 0;
};
Utf8Character decodeUtf8(std::string_view text, std::size_t at = 0);

bool validUtf8(std::string_view text);

// The greatest length of at most `most` bytes at which `text` can be cut without cutting a
// character in two.
std::size_t cutAtCharacter(std::string_view text, std::size_t most);

} // namespace quellomir
