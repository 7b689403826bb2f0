#include "files/printed_text.h"

#include "files/utf8.h"

#include <cstdint>

namespace quellomir {
namespace {

void appendHex(std::string& out, std::uint8_t byte) {
    constexpr char Digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += Digits[byte >> 4];
    out += Digits[byte & 0x0F];
}

} // namespace

std::string escapedForPrinting(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEscapedForPrinting(out, text);
    return out;
}

// A backslash begins the escapes, so one in a Linux name is doubled; on Windows it separates
// the parts of a path and no name holds one.
#ifdef _WIN32
constexpr bool BackslashEscaped = false;
#else
constexpr bool BackslashEscaped = true;
#endif

void appendEscapedForPrinting(std::string& out, std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        // A run of plain ASCII, the bulk of nearly every name, goes over in one piece.
        std::size_t plain = at;
        while (plain < text.size()) {
            const auto next = static_cast<std::uint8_t>(text[plain]);
            if (next < 0x20 || next >= 0x7F || (next == '\\' && BackslashEscaped)) break;
            ++plain;
        }
        out.append(text.substr(at, plain - at));
        at = plain;
        if (at == text.size()) break;
        const auto byte = static_cast<std::uint8_t>(text[at]);
        if (byte >= 0x80) {
            const std::size_t length = decodeUtf8(text, at).length;
            // U+0080 to U+009F are control characters too: a terminal takes U+009B for CSI.
            const bool c1 = length == 2 && byte == 0xC2 && static_cast<std::uint8_t>(text[at + 1]) < 0xA0;
            if (length == 0 || c1) {
                for (std::size_t i = 0; i < (c1 ? 2 : 1); ++i)
                    appendHex(out, static_cast<std::uint8_t>(text[at + i]));
                at += c1 ? 2 : 1;
            } else {
                out.append(text.substr(at, length));
                at += length;
            }
            continue;
        }
        ++at;
        if (byte == '\\' && BackslashEscaped)
            out += "\\\\";
        else if (byte == '\\')
            out += '\\';
        else if (byte == '\t')
            out += "\\t";
        else if (byte == '\n')
            out += "\\n";
        else if (byte == '\r')
            out += "\\r";
        else if (byte < 0x20 || byte == 0x7F)
            appendHex(out, byte);
        else
            out += static_cast<char>(byte);
    }
}

} // namespace quellomir
