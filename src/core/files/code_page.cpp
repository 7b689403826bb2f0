#include "files/code_page.h"

#include "files/utf8.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <system_error>

namespace quellomir {
namespace {

// Whether a code set names UTF-8 in one of the spellings locales use ("UTF-8", "utf8").
bool namesUtf8(std::string_view codeset) {
    std::string plain;
    for (char c : codeset)
        if (c != '-' && c != '_') plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return plain == "utf8";
}

// The single code point of a well-formed sequence of `length` bytes at `at`.
int codePoint(std::string_view text, std::size_t at, std::size_t length) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    if (length == 1) return byte(0);
    int code = byte(0) & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        code = (code << 6) | (byte(i) & 0x3F);
    return code;
}

} // namespace

CodePage::CodePage() = default;

CodePage::CodePage(std::string_view charset) {
    if (namesUtf8(charset)) return;
    m_conversion = openConversion(std::string(charset));
    for (int c = 0; c < 128 && m_asciiIsIdentity; ++c) {
        const char in = static_cast<char>(c);
        std::string out;
        m_asciiIsIdentity = convert(std::string_view(&in, 1), &out) && out == std::string_view(&in, 1);
    }
}

CodePage CodePage::forUserLocale() {
    const std::string charset = charsetForLocale(userLocale());
    try {
        return CodePage(charset);
    } catch (const std::system_error&) {
        return CodePage(); // a code set iconv does not know: names as Qt reads them
    }
}

std::string CodePage::charsetForLocale(std::string_view locale) {
    const std::string_view name = locale.substr(0, locale.find('@'));
    if (name.empty() || name == "C" || name == "POSIX") return "UTF-8";
    if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
        const std::string_view codeset = name.substr(dot + 1);
        return namesUtf8(codeset) ? "UTF-8" : std::string(codeset);
    }
    // "de_DE" alone: the code set is the installed locale's own.
    const std::string codeset = installedCodeset(locale);
    return codeset.empty() || namesUtf8(codeset) || codeset == "ANSI_X3.4-1968" ? "UTF-8" : codeset;
}

bool CodePage::carries(std::string_view text) const {
    if (!m_conversion) return validUtf8(text);
    if (m_asciiIsIdentity &&
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return true;
    return validUtf8(text) && convert(text, nullptr);
}

int CodePage::characterCode(std::string_view text, std::size_t at, std::size_t& length) const {
    length = decodeUtf8(text, at).length;
    if (length == 0) {
        length = 1;
        return '?';
    }
    if (!m_conversion || (length == 1 && m_asciiIsIdentity)) return codePoint(text, at, length);
    std::string out;
    if (!convert(text.substr(at, length), &out)) return '?';
    if (out.size() == 1) return static_cast<unsigned char>(out[0]);
    // A lead byte with its high bit set makes a double-byte character, read as a signed
    // 16-bit value, negative. Anything else (a base letter and a combining mark, as some
    // Vietnamese sets write a letter) has no single code.
    if (out.size() != 2 || static_cast<unsigned char>(out[0]) < 0x80) return '?';
    return static_cast<std::int16_t>((static_cast<unsigned char>(out[0]) << 8) |
                                     static_cast<unsigned char>(out[1]));
}

} // namespace quellomir
