#include "sync/normalize_backslashes.h"

namespace quellomir {
namespace {

constexpr char Separator = '/';

void appendWithoutDoubles(std::string& out, std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t doubled = text.find("//", at);
        if (doubled == std::string_view::npos) {
            out.append(text.substr(at));
            return;
        }
        out.append(text.substr(at, doubled + 1 - at)); // up to the first of the two
        at = doubled + 2;
    }
}

} // namespace

std::string NormalizeBackslashes(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    if (path.empty() || path.front() != Separator) {
        appendWithoutDoubles(out, path);
        return out;
    }
    const std::size_t rest = path.find_first_not_of(Separator, 1);
    out += Separator;
    if (rest != std::string_view::npos) appendWithoutDoubles(out, path.substr(rest));
    return out;
}

} // namespace quellomir
