#include "files/path_form.h"

#include <algorithm>

namespace quellomir {

bool isFullPath(std::string_view path) {
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '/' || path[2] == '\\');
    const bool share = path.size() >= 3 && (path[0] == '/' || path[0] == '\\') &&
                       (path[1] == '/' || path[1] == '\\') && path[2] != '/' && path[2] != '\\';
    return drive || share;
}

std::string fromUserPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string toUserPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace quellomir
