#include "files/code_page.h"

#include "fs/windows_text.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>

namespace quellomir {
namespace {

// A legacy code page and how Windows converts into it.
struct Conversion {
    UINT codePage = 0;
    // No "best fit": a character the code page lacks must show as lacking, not turn into a
    // look-alike ("ą" into "a"), just as iconv refuses it on Linux.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    bool tellsMissing = true; // whether Windows says when a character had no code
};

const Conversion& conversionOf(void* conversion) {
    return *static_cast<const Conversion*>(conversion);
}

// The number of a code page in the spellings locales and iconv give it: "1252", "CP1252",
// "windows-1252", "IBM850", "ISO-8859-2", "KOI8-R", ...; 0 for a name it does not know.
UINT codePageNumber(const std::string& charset) {
    std::string plain;
    for (const char c : charset)
        if (c != '-' && c != '_') plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto number = [](std::string_view digits) -> UINT {
        UINT value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return error == std::errc() && end == digits.data() + digits.size() ? value : 0;
    };
    const std::string_view name = plain;
    for (const std::string_view prefix : {"cp", "windows", "ibm", "ms"})
        if (name.starts_with(prefix) && name.size() > prefix.size())
            return number(name.substr(prefix.size()));
    if (name.starts_with("iso8859")) {
        const UINT part = number(name.substr(7));
        return part >= 1 && part <= 15 ? 28590 + part : 0;
    }
    struct Named {
        std::string_view name;
        UINT codePage;
    };
    constexpr Named Others[] = {{"koi8r", 20866}, {"koi8u", 21866},   {"shiftjis", 932}, {"sjis", 932},
                                {"eucjp", 20932}, {"gbk", 936},       {"gb2312", 936},   {"euckr", 949},
                                {"big5", 950},    {"gb18030", 54936}, {"tis620", 874}};
    for (const Named& other : Others)
        if (name == other.name) return other.codePage;
    return number(name);
}

// Converts `wide` into the code page; the length in bytes, 0 when a character has no code.
int convertWide(const Conversion& conversion, const std::wstring& wide, char* out, int room) {
    BOOL missing = FALSE;
    const int length = ::WideCharToMultiByte(conversion.codePage, conversion.flags, wide.data(),
                                             static_cast<int>(wide.size()), out, room, nullptr,
                                             conversion.tellsMissing ? &missing : nullptr);
    return missing ? 0 : length;
}

} // namespace

void* CodePage::openConversion(const std::string& charset) {
    const UINT codePage = codePageNumber(charset);
    if (codePage == 0 || !::IsValidCodePage(codePage))
        throw std::system_error(EINVAL, std::generic_category(), "character set " + charset);
    auto* conversion = new Conversion{codePage};
    // Some code pages take neither flags (the ISO 2022 ones) nor the question whether a
    // character had no code (UTF-7): those are asked without.
    const std::wstring probe = L"A";
    if (convertWide(*conversion, probe, nullptr, 0) == 0 && ::GetLastError() == ERROR_INVALID_FLAGS)
        conversion->flags = 0;
    if (convertWide(*conversion, probe, nullptr, 0) == 0 && ::GetLastError() == ERROR_INVALID_PARAMETER)
        conversion->tellsMissing = false;
    return conversion;
}

CodePage::~CodePage() {
    delete static_cast<Conversion*>(m_conversion);
}

std::string CodePage::userLocale() {
    const UINT codePage = ::GetACP();
    return codePage == CP_UTF8 ? ".UTF-8" : "." + std::to_string(codePage);
}

std::string CodePage::installedCodeset(std::string_view locale) {
    std::string name(locale.substr(0, locale.find('@')));
    for (char& c : name)
        if (c == '_') c = '-'; // "de_DE" is "de-DE" to Windows
    DWORD codePage = 0;
    if (::GetLocaleInfoEx(toWide(name).c_str(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                          reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) == 0)
        return {};
    // A locale written in Unicode alone has no ANSI code page (0).
    return codePage == 0 || codePage == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(codePage);
}

bool CodePage::convert(std::string_view text, std::string* out) const {
    if (text.empty()) return true;
    const Conversion& conversion = conversionOf(m_conversion);
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (units == 0) return false; // not UTF-8
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units);
    const int length = convertWide(conversion, wide, nullptr, 0);
    if (length == 0) return false;
    if (out) {
        std::string bytes(static_cast<std::size_t>(length), '\0');
        if (convertWide(conversion, wide, bytes.data(), length) != length) return false;
        out->append(bytes);
    }
    return true;
}

} // namespace quellomir
