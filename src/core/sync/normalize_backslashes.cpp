#include "sync/normalize_backslashes.h"

namespace quellomir {
namespace {

constexpr char Separator = '/';

void appendWithoutDoubles(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == Separator && i + 1 < text.size() && text[i + 1] == Separator) ++i;
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
