#include "files/path_form.h"

namespace quellomir {

bool isFullPath(std::string_view path) {
    return path.starts_with('/');
}

std::string fromUserPath(std::string path) {
    return path;
}

std::string toUserPath(std::string path) {
    return path;
}

} // namespace quellomir
