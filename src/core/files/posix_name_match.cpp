#include "files/name_match.h"

#include <fnmatch.h>

namespace quellomir {

bool wildcardMatches(const std::string& pattern, const std::string& name, bool path) {
    return ::fnmatch(pattern.c_str(), name.c_str(), path ? FNM_PATHNAME : 0) == 0;
}

} // namespace quellomir
