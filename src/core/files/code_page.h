#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quellomir {

// The Windows "ANSI" code page that goes with the user's locale, which decides which
// names the program can carry: names on disk are UTF-8, and a name is carried when it
// is valid UTF-8 and every character of it has a code in this code page.
//
// Converts with glibc's iconv. One object keeps one conversion open; it is not meant
// for two threads at once.
class CodePage {
  public:
    // Throws std::system_error when iconv does not know the code page.
    explicit CodePage(int number);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // The code page Windows picks for a locale name such as "pl_PL.UTF-8":
    // 1252 unless the language (and for Chinese, the country) asks for another.
    static int numberForLocale(std::string_view locale);
    // The locale of LC_ALL, LC_CTYPE or LANG, the first that is set.
    static std::string userLocale();

    int number() const { return m_number; }
    bool doubleByte() const {
        return m_number == 932 || m_number == 936 || m_number == 949 || m_number == 950;
    }

    bool carries(std::string_view text) const;

    // The code of one character (`text` starting at `at`) as a signed 16-bit value:
    // its byte for a single-byte character, a negative value for a double-byte one,
    // 63 ("?") when the code page has no code for it. `length` is set to the
    // character's length in bytes; an invalid UTF-8 sequence counts as one byte
    // that has no code.
    int characterCode(std::string_view text, std::size_t at, std::size_t& length) const;

  private:
    // Converts `text`; false when a character has no code or the UTF-8 is invalid.
    bool convert(std::string_view text, std::string* out) const;

    int m_number;
    void* m_conversion; // iconv_t, kept out of the header
    // What each ASCII character becomes: its code, or -1 when it does not stay one byte.
    std::array<short, 128> m_ascii{};
    bool m_asciiIsIdentity = true;
};

} // namespace quellomir
