#include "files/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

namespace quellomir {
namespace {

iconv_t handle(void* conversion) {
    return static_cast<iconv_t>(conversion);
}

// The length of the well-formed UTF-8 sequence at `at`, or 0: no overlong forms, no
// surrogates, nothing past U+10FFFF.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

bool validUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = utf8Length(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

struct LocaleCodePage {
    const char* language;
    int codePage;
};

// Windows' choice of ANSI code page per language. Serbian and Uzbek are written in
// two scripts; glibc marks the Latin one with "@latin".
constexpr LocaleCodePage LanguageCodePages[] = {
    {"cs", 1250}, {"hu", 1250}, {"pl", 1250}, {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"hr", 1250},
    {"sq", 1250}, {"bs", 1250}, {"tk", 1250}, {"ru", 1251}, {"uk", 1251}, {"be", 1251}, {"bg", 1251},
    {"mk", 1251}, {"kk", 1251}, {"ky", 1251}, {"tt", 1251}, {"mn", 1251}, {"ba", 1251}, {"tg", 1251},
    {"sr", 1251}, {"el", 1253}, {"tr", 1254}, {"az", 1254}, {"uz", 1254}, {"he", 1255}, {"iw", 1255},
    {"yi", 1255}, {"ar", 1256}, {"fa", 1256}, {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257},
    {"vi", 1258}, {"th", 874},  {"ja", 932},  {"ko", 949},
};

} // namespace

CodePage::CodePage(int number) : m_number(number) {
    std::string name = "CP" + std::to_string(number);
    iconv_t conversion = ::iconv_open(name.c_str(), "UTF-8");
    if (conversion == reinterpret_cast<iconv_t>(-1))
        throw std::system_error(errno, std::generic_category(), name);
    m_conversion = conversion;
    for (int c = 0; c < 128; ++c) {
        char in = static_cast<char>(c);
        std::string out;
        m_ascii[c] = convert(std::string_view(&in, 1), &out) && out.size() == 1
                         ? static_cast<short>(static_cast<unsigned char>(out[0]))
                         : short(-1);
        if (m_ascii[c] != c) m_asciiIsIdentity = false;
    }
}

CodePage::~CodePage() {
    ::iconv_close(handle(m_conversion));
}

std::string CodePage::userLocale() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return "C";
}

int CodePage::numberForLocale(std::string_view locale) {
    std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
    std::size_t countryAt = locale.find('_');
    std::string_view country =
        countryAt == std::string_view::npos ? std::string_view() : locale.substr(countryAt + 1, 2);
    bool latin = locale.find("@latin") != std::string_view::npos;
    if (language == "zh") return country == "TW" || country == "HK" || country == "MO" ? 950 : 936;
    if (language == "sr" && latin) return 1250;
    if (language == "uz" && locale.find("@cyrillic") != std::string_view::npos) return 1251;
    for (const LocaleCodePage& entry : LanguageCodePages)
        if (language == entry.language) return entry.codePage;
    return 1252;
}

bool CodePage::convert(std::string_view text, std::string* out) const {
    iconv_t conversion = handle(m_conversion);
    ::iconv(conversion, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[512];
    while (inLeft > 0) {
        char* put = buffer;
        std::size_t putLeft = sizeof buffer;
        std::size_t result = ::iconv(conversion, &in, &inLeft, &put, &putLeft);
        if (out) out->append(buffer, static_cast<std::size_t>(put - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    // Flush what a stateful code page (1258) may still hold back.
    char* put = buffer;
    std::size_t putLeft = sizeof buffer;
    if (::iconv(conversion, nullptr, nullptr, &put, &putLeft) == static_cast<std::size_t>(-1)) return false;
    if (out) out->append(buffer, static_cast<std::size_t>(put - buffer));
    return true;
}

bool CodePage::carries(std::string_view text) const {
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii && m_asciiIsIdentity) return true;
    return validUtf8(text) && convert(text, nullptr);
}

int CodePage::characterCode(std::string_view text, std::size_t at, std::size_t& length) const {
    length = utf8Length(text, at);
    if (length == 0) {
        length = 1;
        return '?';
    }
    if (length == 1) {
        short code = m_ascii[static_cast<unsigned char>(text[at])];
        return code < 0 ? '?' : code;
    }
    std::string out;
    if (!convert(text.substr(at, length), &out) || out.empty()) return '?';
    if (out.size() == 1) return static_cast<unsigned char>(out[0]);
    // 1258 writes some letters as a base letter and a combining mark: no single code.
    if (!doubleByte()) return '?';
    // A double-byte character, read as a signed 16-bit value: its lead byte makes it
    // negative.
    return static_cast<std::int16_t>((static_cast<unsigned char>(out[0]) << 8) |
                                     static_cast<unsigned char>(out[1]));
}

} // namespace quellomir
