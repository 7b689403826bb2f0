#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// The system's narrow encoding, which decides which names the program can carry. Names
// on disk are taken as UTF-8, as Qt takes them. Under a UTF-8 locale (and under C and
// POSIX, which count as UTF-8) a character's code is its Unicode code point, so every
// valid UTF-8 name is carried. Under a legacy locale a name is carried only when its
// character set, reached through glibc's iconv, has every character of it. On Windows the
// narrow encoding is the system's ANSI code page, reached through the Windows API.
//
// One object keeps one conversion open; it is not meant for two threads at once.
class CodePage {
  public:
    // UTF-8.
    CodePage();
    // A character set by its iconv name ("UTF-8", "ISO-8859-2", "CP1251"; on Windows also
    // a code page's number, "1251"); throws std::system_error naming it when the system
    // does not know it.
    explicit CodePage(std::string_view charset);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // The encoding of the user's locale; UTF-8 when iconv does not know its code set.
    static CodePage forUserLocale();
    // The character set of a locale name such as "pl_PL.UTF-8" or "de_DE.ISO-8859-1":
    // its code set where it names one, else what the installed locale says; "UTF-8" for
    // C, POSIX and a locale that is not installed.
    static std::string charsetForLocale(std::string_view locale);
    // The locale of LC_ALL, LC_CTYPE or LANG, the first that is set. On Windows the
    // system's ANSI code page as a locale without a language: ".1252", or ".UTF-8".
    static std::string userLocale();

    // True when `text` is valid UTF-8 and the encoding has every character of it.
    bool carries(std::string_view text) const;

    // The code of one character (`text` starting at `at`): its code point under UTF-8;
    // under a legacy character set its byte there, a negative value for a double-byte
    // character (read as a signed 16-bit value), and 63 ("?") when the set has no code
    // for it. `length` is set to the character's length in bytes; an invalid UTF-8
    // sequence counts as one byte that has no code.
    int characterCode(std::string_view text, std::size_t at, std::size_t& length) const;

  private:
    // The system's conversion from UTF-8 into `charset`; throws as the constructor does.
    static void* openConversion(const std::string& charset);
    // The code set of a locale named without one ("de_DE"), as installed; empty when it
    // is not installed.
    static std::string installedCodeset(std::string_view locale);
    // Converts `text`; false when a character has no code or the UTF-8 is invalid.
    bool convert(std::string_view text, std::string* out) const;

    // The system's conversion of a legacy character set (an iconv_t; on Windows the code
    // page), kept out of the header.
    void* m_conversion = nullptr;
    bool m_asciiIsIdentity = true; // whether ASCII stays itself in the legacy set
};

} // namespace quellomir
