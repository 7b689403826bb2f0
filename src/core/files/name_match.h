#pragma once

#include <string>

namespace quellomir {

// Whether `name` matches the shell wildcard pattern (*, ?, [...] with ranges, classes and
// ! or ^, \ taking the next character as it is), as fnmatch matches it: with `path`, as
// FNM_PATHNAME, no wildcard matches a '/', which only a '/' of the pattern matches.
bool wildcardMatches(const std::string& pattern, const std::string& name, bool path);

} // namespace quellomir
