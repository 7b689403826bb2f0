#include "sync/earlier_runs.h"

#include "files/contents.h"
#include "files/error_text.h"
#include "files/temporary_names.h"
#include "files/time_note.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "sync/keep_in_trash.h"
#include "sync/sync_reasons.h"

#include <cerrno>
#include <system_error>

namespace quellomir {
void EarlierRuns::finishIn(WriteFolder& folder) {
    if (!m_finished.emplace(folder.device, folder.inode).second) return;
    // A folder that cannot be listed keeps what it has; its leftovers wait for a run that may
    // list it.
    if (!folder.listable) return;
    std::vector<std::string> candidates;
    if (m_fs.listNames(folder.handle, [&](std::string_view name) {
            if (isTemporaryName(name)) candidates.emplace_back(name);
        }) != 0)
        return;
    std::vector<Leftover> leftovers;
    for (const std::string& name : candidates)
        if (Leftover leftover; isLeftover(folder, name, leftover)) leftovers.push_back(std::move(leftover));
    for (const Leftover& leftover : leftovers)
        applyTimeNote(folder, leftover);
    for (const Leftover& leftover : leftovers)
        if (int error = m_fs.unlinkAt(folder.handle, leftover.name); error != 0 && error != ENOENT)
            m_notes.push_back(std::string(LeftoverReason) + folder.path + leftover.name + " \u2014 " +
                              errorText(error));
    if (!leftovers.empty()) removeLiveTrashLinks(folder);
}

bool EarlierRuns::isLeftover(WriteFolder& folder, const std::string& name, Leftover& leftover) {
    Handle file;
    // Never a link, a folder or a FIFO: this program makes none of them.
    if (m_fs.openToRead(&folder.handle, name, Follow::No, file, leftover.facts) != 0) return false;
    if (leftover.facts.owner != m_fs.runningUser()) {
        if (!m_toldOfForeignFiles)
            m_notes.push_back("Files named like this program's own but not made by this user were left "
                              "alone, such as " +
                              folder.path + name);
        m_toldOfForeignFiles = true;
        return false;
    }
    // A second name of a file is removed without loss (a copy named by a link, stopped before
    // its "~" name went), but never read as a note.
    if (leftover.facts.links == 0) return false;
    // A run that writes a "~" file holds a lock on it. Where the drive keeps no locks, its
    // writer may be on another machine: only a file nobody touched for an hour is let go.
    bool taken = false;
    const int lockError = m_fs.tryLock(file, Lock::Shared, taken);
    const bool locked = lockError == 0 && !taken;
    if (locked || (lockError != 0 && !untouchedForAnHour(leftover.facts.changed.seconds))) return false;
    leftover.name = name;
    leftover.start.assign(TimeNoteBytes, '\0');
    std::size_t got = 0;
    if (leftover.facts.links != 1 || m_fs.readAt(file, 0, leftover.start.data(), TimeNoteBytes, got) != 0)
        got = 0;
    leftover.start.resize(got);
    return true;
}

bool EarlierRuns::keepsPermissionBits(WriteFolder& folder) {
    std::uint64_t type = 0;
    return m_fs.fileSystemType(folder.path, type) != 0 || driveKeepsPermissionBits(type);
}

void EarlierRuns::applyTimeNote(WriteFolder& folder, const Leftover& leftover) {
    // A run killed right after a rename on a drive that stamps renames left a copy that looks
    // newer than its source, and this note of the time it was to have. Whatever holds that name
    // now gets the time only while it is still that copy: an edit since makes it the user's.
    const std::optional<TimeNote> note = parseTimeNote(leftover.start);
    if (!note) return;
    if (keepsPermissionBits(folder) && (leftover.facts.mode & 07777) != TimeNoteMode) return;
    // A copy its run cut short while it claimed the name holds nobody's version: it goes, and
    // the "~" file it was copied from after it.
    if (claimCutShort(m_fs, folder.handle, *note))
        m_fs.unlinkAt(folder.handle, note->name);
    else if (stampedCopyOf(m_fs, folder.handle, *note))
        m_fs.setModified(folder.handle, note->name, note->time);
}

void EarlierRuns::removeLiveTrashLinks(WriteFolder& folder) {
    // A run killed while it replaced a file may have left the older file in the Trash as a
    // second link of the file that is still in place: no kept version at all, since an edit
    // of the file changes it too. The file is still where it was, so only the link goes.
    TrashCan* trash = m_trashFor(folder);
    if (!trash || trash->recycleBin) return;
    std::vector<std::string> names;
    if (m_fs.listNames(trash->files, [&](std::string_view name) { names.emplace_back(name); }) != 0) return;
    for (const std::string& name : names) {
        FileFacts kept;
        // Only a file with a second link can be one; a file moved into the Trash has one.
        if (m_fs.statAt(trash->files, name, Follow::No, kept) != 0 || kept.kind != EntryKind::Regular ||
            kept.links < 2)
            continue;
        std::string info;
        FileFacts infoFacts;
        if (readSmallFile(m_fs, trash->info, name + ".trashinfo", 8192, info, infoFacts) != 0) continue;
        const std::string path = recordedPath(info, *trash);
        FileFacts live;
        if (path.empty() || m_fs.stat(path, Follow::No, live) != 0 || live.device != kept.device ||
            live.inode != kept.inode)
            continue;
        if (m_fs.unlinkAt(trash->files, name) == 0) m_fs.unlinkAt(trash->info, name + ".trashinfo");
    }
}

} // namespace quellomir
