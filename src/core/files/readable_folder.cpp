#include "files/readable_folder.h"

#include "files/error_text.h"
#include "files/path_form.h"

#include <system_error>

namespace quellomir {
namespace {

// Thrown by the visitor to end the listing at its first entry: one entry shows as much
// as all of them.
struct Enough {};

} // namespace

int folderReadError(FileSystem& fs, const std::string& folder) {
    try {
        return fs.listFolder(folder, stat_kinds::None, [](const FolderEntry&) { throw Enough{}; });
    } catch (const Enough&) {
        return 0;
    }
}

std::vector<std::string> unreadableFolders(FileSystem& fs, const std::string& folder1,
                                           const std::string& folder2) {
    std::vector<std::string> lines;
    int number = 0;
    for (const std::string* folder : {&folder1, &folder2}) {
        ++number;
        const std::string head =
            "Folder " + std::to_string(number) + " cannot be read: " + toUserPath(*folder) + " \u2014 ";
        // A relative path (a settings file edited by hand) would mean another folder for
        // each folder the program is started from.
        if (!isFullPath(*folder)) {
            lines.push_back(head + "Not a full path");
            continue;
        }
        if (const int error = folderReadError(fs, *folder)) lines.push_back(head + errorText(error));
    }
    return lines;
}

} // namespace quellomir
