#include "files/folder_listing.h"

#include "files/path_text.h"
#include "files/temporary_names.h"

#include <cerrno>
#include <system_error>

namespace quellomir {

int forEachAdmittedFile(FileSystem& fs, const CodePage& codePage, const std::string& folder,
                        const AdmittedFileVisitor& visit, const ListedNames* listed,
                        const UnreadFileVisitor& unread) {
    constexpr unsigned Candidates = stat_kinds::Regular | stat_kinds::Link;
    auto admit = [&](const FolderEntry& entry) {
        if (unread && entry.statted && unreadError(entry.statError) && codePage.carries(entry.name) &&
            (entry.kind == EntryKind::Regular || entry.kind == EntryKind::Link))
            unread(entry.name, entry.statError);
        if (!entry.statted || entry.statError != 0 || entry.facts.kind != EntryKind::Regular) return;
        if (!codePage.carries(entry.name)) return;
        visit(entry.name, entry.facts, entry.kind == EntryKind::Link);
    };
    if (listed && listed->statted()) {
        listed->forEachEntry(admit);
        return 0;
    }
    return listed ? fs.statListed(folder, *listed, Candidates, admit)
                  : fs.listFolder(folder, Candidates, admit);
}

void appendFolderFiles(FileSystem& fs, const CodePage& codePage, FileList& list, std::uint32_t folder,
                       NameFilter filter, ListingMemo* memo, UnreadParts* unread,
                       const Exclusions* exclusions, std::string_view below) {
    const std::size_t before = list.size();
    const std::string& path = list.folders[folder];
    std::optional<ListedNames> listed = memo ? memo->take(path) : std::nullopt;
    auto append = [&](std::string_view name, const FileFacts& facts, bool viaLink) {
        if (filter == NameFilter::NoTilde && name.front() == '~') {
            if (isTemporaryName(name) &&
                (list.foldersWithOwnNames.empty() || list.foldersWithOwnNames.back() != folder))
                list.foldersWithOwnNames.push_back(folder);
            return;
        }
        if (exclusions && exclusions->leavesOutFile(below, name)) {
            ++list.leftOutFiles;
            return;
        }
        list.add(name, folder, facts.modified, viaLink, static_cast<std::uint64_t>(facts.size));
    };
    UnreadFileVisitor unreadFile;
    if (unread)
        unreadFile = [&](std::string_view name, int error) {
            if (filter == NameFilter::NoTilde && name.front() == '~') return;
            unread->add(joinPath(path, name), error);
        };
    int error = forEachAdmittedFile(fs, codePage, path, append, listed ? &*listed : nullptr, unreadFile);
    if (error == 0 || error == ENOENT || error == ENOTDIR) {
        if (error != 0) list.truncate(before);
        return;
    }
    list.truncate(before);
    throw std::system_error(error, std::generic_category(), path);
}

} // namespace quellomir
