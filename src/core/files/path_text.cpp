#include "files/path_text.h"

namespace quellomir {

std::string GetFileName(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string GetParentFolder(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::size_t keep = folder.size();
    while (keep > 0 && folder[keep - 1] == '/')
        --keep;
    std::string path;
    path.reserve(keep + 1 + name.size());
    path.append(folder.substr(0, keep)).push_back('/');
    path.append(name);
    return path;
}

} // namespace quellomir
