#include "sync/written_copies.h"

#include "files/contents.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"

namespace quellomir {

bool WrittenCopies::wrote(const std::string& path) const {
    return m_written.contains(path);
}

const WrittenCopy* WrittenCopies::find(const std::string& path) const {
    const auto found = m_written.find(path);
    return found == m_written.end() ? nullptr : &found->second;
}

WrittenCopies::Entry& WrittenCopies::record(const std::string& path, const WrittenCopy& copy) {
    Entry& entry = *m_written.try_emplace(path).first;
    entry.second = copy;
    return entry;
}

bool WrittenCopies::stillAsWritten(FileSystem& fs, WriteFolder& folder, const std::string& name,
                                   const FileFacts& now, const WrittenCopy& copy) {
    // Drives of whole or even seconds cut the time the copy was given; an edit gives the time
    // of now, which a copy's (its source's, or older) is seconds at least before.
    // A time no drive may hold is not looked at.
    const std::int64_t apart = now.modified.seconds - copy.modified.seconds;
    if (now.device != copy.device || now.inode != copy.inode || now.size != copy.size ||
        (heldByEveryDrive(copy.modified) && (apart < -2 || apart > 2)) ||
        (copy.heldChanged && now.changed != *copy.heldChanged))
        return false;
    if (!copy.hash) return true; // the drive moves the time of a file written to
    Handle file;
    FileFacts opened;
    std::uint64_t hash = 0;
    return fs.openToRead(&folder.handle, name, Follow::No, file, opened) == 0 && opened.sameState(now) &&
           hashOfFile(fs, file, opened, hash) == 0 && hash == *copy.hash;
}

} // namespace quellomir
