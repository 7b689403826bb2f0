#include "compare/noted_times.h"

#include "files/temporary_names.h"
#include "files/time_note.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"

#include <algorithm>
#include <ranges>
#include <vector>

namespace quellomir {

void takeNotedTimes(FileSystem& fs, FileList& files) {
    for (const std::uint32_t listed : files.foldersWithOwnNames) {
        const std::string& path = files.folders[listed];
        WriteFolder folder;
        if (openWriteFolder(fs, path, folder) != 0 || !folder.listable) continue;
        std::vector<std::string> names;
        if (fs.listNames(folder.handle, [&](std::string_view name) {
                if (isTemporaryName(name)) names.emplace_back(name);
            }) != 0)
            continue;
        std::uint64_t type = 0;
        const bool keepsBits = fs.fileSystemType(path, type) != 0 || driveKeepsPermissionBits(type);
        // A folder's files lie together in the list, in the order of the folders.
        const auto byFolder = [&](std::size_t file) { return files.file(file).folder; };
        for (const std::string& name : names) {
            const std::optional<TimeNote> note = ownTimeNote(fs, folder.handle, name, keepsBits);
            if (!note) continue;
            const auto [first, end] = std::ranges::equal_range(std::views::iota(std::size_t{0}, files.size()),
                                                               listed, {}, byFolder);
            for (const std::size_t file : std::ranges::subrange(first, end)) {
                if (files.name(file) != note->name) continue;
                if (claimCutShort(fs, folder.handle, *note)) {
                    files.remove(file);
                    break;
                }
                if (files.file(file).size() == std::uint64_t(note->size) &&
                    stampedCopyOf(fs, folder.handle, *note))
                    files.setModified(file, note->time);
            }
        }
    }
}

} // namespace quellomir
