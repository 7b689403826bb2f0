#include "files/code_page.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace quellomir {
namespace {

iconv_t handle(void* conversion) {
    return static_cast<iconv_t>(conversion);
}

} // namespace

void* CodePage::openConversion(const std::string& charset) {
    iconv_t conversion = ::iconv_open(charset.c_str(), "UTF-8");
    if (conversion == reinterpret_cast<iconv_t>(-1))
        throw std::system_error(errno, std::generic_category(), "character set " + charset);
    return conversion;
}

CodePage::~CodePage() {
    if (m_conversion) ::iconv_close(handle(m_conversion));
}

std::string CodePage::userLocale() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return "C";
}

std::string CodePage::installedCodeset(std::string_view locale) {
    locale_t installed = ::newlocale(LC_CTYPE_MASK, std::string(locale).c_str(), locale_t(0));
    if (installed == locale_t(0)) return {};
    std::string codeset = ::nl_langinfo_l(CODESET, installed);
    ::freelocale(installed);
    return codeset;
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

} // namespace quellomir
