#include "files/trash_can.h"

#include "fs/windows_text.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace quellomir {

// The user's profile folder, with '/' between its parts as every path of the core has them
// (Windows takes either).
std::string homeFromUserDatabase() {
    PWSTR path = nullptr;
    std::string home;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Profile, KF_FLAG_DEFAULT, nullptr, &path)))
        home = fromWide(path);
    ::CoTaskMemFree(path);
    for (char& c : home)
        if (c == '\\') c = '/';
    return home.empty() ? "/" : home;
}

} // namespace quellomir
