#include "files/name_match.h"

#include "files/utf8.h"

#include <cwctype>
#include <string_view>

namespace quellomir {
namespace {

// One character of UTF-8 text at `at`; a byte that starts no character counts as one, with
// the byte for its code, so that no text is without a match.
Utf8Character characterAt(std::string_view text, std::size_t at) {
    const Utf8Character character = decodeUtf8(text, at);
    if (character.length != 0) return character;
    return {1, static_cast<unsigned char>(text[at])};
}

bool inClass(std::string_view name, char32_t point) {
    // The wide classes of the C library know letters beyond ASCII, as glibc's do under UTF-8.
    if (point > 0xFFFF) return name == "alpha" || name == "alnum" || name == "print" || name == "graph";
    const auto c = static_cast<wint_t>(point);
    if (name == "alpha") return std::iswalpha(c);
    if (name == "digit") return std::iswdigit(c);
    if (name == "alnum") return std::iswalnum(c);
    if (name == "upper") return std::iswupper(c);
    if (name == "lower") return std::iswlower(c);
    if (name == "space") return std::iswspace(c);
    if (name == "blank") return c == L' ' || c == L'\t';
    if (name == "punct") return std::iswpunct(c);
    if (name == "xdigit") return std::iswxdigit(c);
    if (name == "print") return std::iswprint(c);
    if (name == "graph") return std::iswgraph(c);
    if (name == "cntrl") return std::iswcntrl(c);
    return false;
}

// Matches `point` against the bracket expression whose '[' is at `open`; false when the
// pattern has no bracket expression there (no closing ']'): the '[' is then an ordinary
// character. `after` is set past the closing ']'.
bool bracket(std::string_view pattern, std::size_t open, char32_t point, bool& matched, std::size_t& after) {
    std::size_t at = open + 1;
    const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    if (negated) ++at;
    bool found = false;
    for (bool first = true;; first = false) {
        if (at >= pattern.size()) return false;
        if (pattern[at] == ']' && !first) break;
        if (pattern.substr(at).starts_with("[:")) {
            const std::size_t end = pattern.find(":]", at + 2);
            if (end != std::string_view::npos) {
                found = found || inClass(pattern.substr(at + 2, end - at - 2), point);
                at = end + 2;
                continue;
            }
        }
        if (pattern[at] == '\\' && at + 1 < pattern.size()) ++at;
        const Utf8Character low = characterAt(pattern, at);
        at += low.length;
        char32_t high = low.point;
        if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
            ++at;
            if (pattern[at] == '\\' && at + 1 < pattern.size()) ++at;
            const Utf8Character end = characterAt(pattern, at);
            at += end.length;
            high = end.point;
        }
        found = found || (point >= low.point && point <= high);
    }
    matched = found != negated;
    after = at + 1;
    return true;
}

// Whether one element of the pattern at `at` (anything but '*') matches the character of
// `text` at `in`; `patternNext` and `textNext` are set past the two.
bool matchOne(std::string_view pattern, std::size_t at, std::string_view text, std::size_t in, bool path,
              std::size_t& patternNext, std::size_t& textNext) {
    const Utf8Character character = characterAt(text, in);
    textNext = in + character.length;
    const bool slash = text[in] == '/';
    if (pattern[at] == '?') {
        patternNext = at + 1;
        return !(path && slash);
    }
    if (pattern[at] == '[') {
        bool matched = false;
        if (bracket(pattern, at, character.point, matched, patternNext)) return matched && !(path && slash);
    }
    // A backslash that ends the pattern escapes nothing: fnmatch then matches nothing at all.
    if (pattern[at] == '\\' && ++at == pattern.size()) return false;
    const Utf8Character literal = characterAt(pattern, at);
    patternNext = at + literal.length;
    return text.substr(in, character.length) == pattern.substr(at, literal.length);
}

} // namespace

bool wildcardMatches(const std::string& patternText, const std::string& nameText, bool path) {
    const std::string_view pattern = patternText, text = nameText;
    std::size_t at = 0, in = 0;
    // Where the last '*' was, and how far into the text it reaches: on a mismatch it takes
    // one more character. An earlier '*' never needs to take more, since the later one
    // can take whatever it would have left over.
    std::size_t star = std::string_view::npos, starReach = 0;
    while (in < text.size()) {
        if (at < pattern.size() && pattern[at] == '*') {
            while (at < pattern.size() && pattern[at] == '*')
                ++at;
            star = at;
            starReach = in;
            continue;
        }
        std::size_t patternNext = 0, textNext = 0;
        if (at < pattern.size() && matchOne(pattern, at, text, in, path, patternNext, textNext)) {
            at = patternNext;
            in = textNext;
            continue;
        }
        // A '*' never takes a '/' of a path: the parts between the slashes match one for one.
        if (star == std::string_view::npos || (path && text[starReach] == '/')) return false;
        starReach += characterAt(text, starReach).length;
        at = star;
        in = starReach;
    }
    while (at < pattern.size() && pattern[at] == '*')
        ++at;
    return at == pattern.size();
}

} // namespace quellomir
