#include "files/folder_listing.h"

#include <cerrno>
#include <system_error>

namespace quellomir {

int forEachAdmittedFile(FileSystem& fs, const CodePage& codePage, const std::string& folder,
                        const AdmittedFileVisitor& visit) {
    // A folder the code page cannot carry cannot carry a file either; no need to look.
    if (!codePage.carries(folder)) return 0;
    return fs.listFolder(folder, stat_kinds::Regular | stat_kinds::Link, [&](const FolderEntry& entry) {
        if (!entry.statted || entry.statError != 0 || entry.facts.kind != EntryKind::Regular) return;
        if (!codePage.carries(entry.name)) return;
        visit(entry.name, entry.facts);
    });
}

void appendFolderFiles(FileSystem& fs, const CodePage& codePage, FileList& list, std::uint32_t folder,
                       NameFilter filter) {
    const std::size_t before = list.files.size();
    const std::string& path = list.folders[folder];
    int error = forEachAdmittedFile(fs, codePage, path, [&](std::string_view name, const FileFacts& facts) {
        if (filter == NameFilter::NoTilde && name.front() == '~') return;
        list.files.push_back(ListedFile{std::string(name), folder, facts.modified});
    });
    if (error == 0 || error == ENOENT || error == ENOTDIR) {
        if (error != 0) list.files.resize(before);
        return;
    }
    list.files.resize(before);
    throw std::system_error(error, std::generic_category(), path);
}

} // namespace quellomir
