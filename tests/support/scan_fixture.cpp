#include "support/scan_fixture.h"

#include <dirent.h>

#include <stdexcept>

namespace quellomir::testing {

std::vector<std::string> enumeratedFolders(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) throw std::runtime_error("cannot list " + folder);
    while (dirent* entry = ::readdir(listing)) {
        std::string name = entry->d_name;
        if (name != "." && name != ".." && entry->d_type == DT_DIR) names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

ScanRun::ScanRun(FileSystem& fs, const std::string& seed, bool recurse, const char* charset)
    : ScanRun(fs, FolderList{seed}, recurse, charset) {}

ScanRun::ScanRun(FileSystem& fs, FolderList seeds, bool recurse, const char* charset)
    : list(std::move(seeds)) {
    CodePage page(charset);
    GetSubDirectories2016(list, recurse, fs, page, report, yielder);
}

} // namespace quellomir::testing
