#include "compare/noted_times.h"

#include "fs/drive_kinds.h"
#include "fs/temporary_names.h"
#include "sync/time_note.h"

#include <algorithm>
#include <vector>

namespace quellomir {

void takeNotedTimes(FileSystem& fs, FileList& files) {
    for (const std::uint32_t listed : files.foldersWithOwnNames) {
        const std::string& path = files.folders[listed];
        WriteFolder folder;
        if (fs.openWriteFolder(path, folder) != 0 || !folder.listable) continue;
        std::vector<std::string> names;
        if (fs.listNames(folder.handle, [&](std::string_view name) {
                if (isTemporaryName(name)) names.emplace_back(name);
            }) != 0)
            continue;
        std::uint64_t type = 0;
        const bool keepsBits = fs.fileSystemType(path, type) != 0 || driveKeepsPermissionBits(type);
        // A folder's files lie together in the list, in the order of the folders.
        std::size_t first = 0;
        for (std::size_t count = files.size(); count > 0;) {
            const std::size_t half = count / 2;
            if (files.file(first + half).folder < listed) {
                first += half + 1;
                count -= half + 1;
            } else {
                count = half;
            }
        }
        std::size_t end = first;
        while (end < files.size() && files.file(end).folder == listed)
            ++end;
        for (const std::string& name : names) {
            const std::optional<TimeNote> note = ownTimeNote(fs, folder.handle, name, keepsBits);
            if (!note) continue;
            for (std::size_t file = first; file < end; ++file)
                if (files.name(file) == note->name && files.file(file).size() == std::uint64_t(note->size) &&
                    stampedCopyOf(fs, folder.handle, *note))
                    files.setModified(file, note->time);
        }
    }
}

} // namespace quellomir
