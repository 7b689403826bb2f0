#pragma once

#include <string>
#include <string_view>

namespace quellomir {

// Inside the program a path separates its parts with '/' on every system: "C:/Photos/" and
// "//server/share/" on Windows. What the user types or reads uses the system's own form.

// Whether `path` names a place whatever the current folder is: "/..." here, "C:/..." or
// "//server/share/..." on Windows.
bool isFullPath(std::string_view path);

// A path as the user gave it, in the program's form.
std::string fromUserPath(std::string path);

// A path of the program's, as the user reads it.
std::string toUserPath(std::string path);

} // namespace quellomir
