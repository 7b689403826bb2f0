#include "sync/end_flush.h"

#include "files/error_text.h"
#include "files/path_text.h"
#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "sync/sync_reasons.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace quellomir {
namespace {

// How much the copies to free names write before a flush is started behind the rows, on
// drives where one flush reaches every file. The end of the run still flushes everything and
// waits for it; an earlier flush only leaves it less to write.
constexpr std::uint64_t FlushAheadBytes = std::uint64_t(32) << 20;

std::string words(int error) {
    return errorText(error);
}

} // namespace

struct EndFlush::Finishing {
    const Unflushed* copy;
    WriteFolder* folder;
    std::string name;
    int timeError = 0; // or of its flush
    bool gone = false; // a later row or someone else replaced it, or its folder moved
};

void EndFlush::addCopy(WrittenCopies::Entry& written, std::size_t row, FileTime sourceTime,
                       const WriteFolder& folder, TimeRule rule) {
    m_waitingRows.insert(row);
    written.second.unflushed = m_unflushed.size();
    m_unflushed.push_back({&written, row, sourceTime, folder.device, folder.inode, rule});
}

void EndFlush::flushAhead(const WriteFolder& folder, std::int64_t bytes) {
    if (!flushReachesEveryFile(m_drives.type(folder))) return;
    // A new file costs the disk about a block of its own besides its data.
    m_bytesSinceFlushAhead += std::uint64_t(bytes) + 4096;
    if (m_bytesSinceFlushAhead < FlushAheadBytes) return;
    if (m_flushingAhead.valid() &&
        m_flushingAhead.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    Handle& handle = m_drives.fileSystemHandle(folder.device);
    if (!handle.open()) return;
    m_bytesSinceFlushAhead = 0;
    try {
        m_flushingAhead = std::async(std::launch::async, [this, &handle] { m_fs.flushDrive(handle); });
    } catch (const std::system_error&) {
        // No thread to be had: the end's flush does it all.
    }
}

std::vector<int> EndFlush::flushFileSystems(const std::vector<std::uint64_t>& devices) {
    std::vector<Handle*> handles;
    for (std::uint64_t device : devices)
        handles.push_back(&m_drives.fileSystemHandle(device));
    std::vector<int> errors(devices.size(), 0);
    // On a thread of its own: a USB stick takes a while, and the window answers meanwhile.
    m_threads.run(1, handles.size(), [&](std::size_t i) {
        errors[i] = handles[i]->open() ? m_fs.flushDrive(*handles[i]) : EBADF;
    });
    return errors;
}

void EndFlush::flushThroughFiles(std::vector<Finishing>& finishing) {
    // A flush of a whole FUSE or network file system never reaches its driver: there the
    // copies are flushed one by one, and then their folders, which hold their names.
    std::vector<Finishing*> copies;
    std::vector<WriteFolder*> folders;
    for (Finishing& one : finishing) {
        if (wholeFlushReachesDriver(m_drives.type(*one.folder))) continue;
        copies.push_back(&one);
        if (std::find(folders.begin(), folders.end(), one.folder) == folders.end())
            folders.push_back(one.folder);
    }
    if (copies.empty()) return;
    m_threads.run(
        requestsInFlight(m_drives.type(*copies.front()->folder)), copies.size(), [&](std::size_t i) {
            Finishing& one = *copies[i];
            Handle file;
            FileFacts facts;
            const WrittenCopy& written = one.copy->written->second;
            // A copy that cannot be opened is not flushed: its row is not done
            // (out of descriptors, say), unless it is gone or another file took its
            // place.
            if (int error = m_fs.openToRead(&one.folder->handle, one.name, Follow::No, file, facts)) {
                if (error == ENOENT || error == ELOOP || error == EINVAL)
                    one.gone = true;
                else
                    one.timeError = error;
                return;
            }
            if (facts.device != written.device || facts.inode != written.inode) {
                one.gone = true;
                return;
            }
            one.timeError = m_fs.flush(file);
        });
    std::vector<int> folderErrors(folders.size(), 0);
    m_threads.run(requestsInFlight(m_drives.type(*folders.front())), folders.size(), [&](std::size_t i) {
        // A folder that may be written but not read cannot be flushed by itself; a driver
        // that flushes the drive with each file needs no more.
        if (int error = m_fs.flush(folders[i]->handle); error != EBADF) folderErrors[i] = error;
    });
    for (Finishing* one : copies) {
        const int folderError =
            folderErrors[std::find(folders.begin(), folders.end(), one->folder) - folders.begin()];
        if (one->timeError == 0) one->timeError = folderError;
    }
}

void EndFlush::giveTime(Finishing& one) {
    // The copy is looked at in its folder, then given its source's time: two requests each.
    FileFacts now;
    const WrittenCopy& written = one.copy->written->second;
    if (int error = m_fs.statAt(one.folder->handle, one.name, Follow::No, now);
        error != 0 && error != ENOENT) {
        one.timeError = error;
        return;
    }
    if (now.kind == EntryKind::Other ||
        !WrittenCopies::stillAsWritten(m_fs, *one.folder, one.name, now, written)) {
        one.gone = true;
        return;
    }
    // A held copy's bytes are the source's only while nothing wrote to it since they were read;
    // the time it is given next could hide a write from the next look.
    if (written.heldChanged && now.changed != *written.heldChanged) {
        one.gone = true;
        return;
    }
    // A drive that dropped the fraction of the provisional time would cut the source's to
    // a second earlier, and a stop before that was mended would leave the copy looking
    // older: it gets the time rounded as the comparison rounds it, in this one step.
    const FileTime time = one.copy->modified;
    const bool whole = m_drives.dropsFractions(written.device) ||
                       (written.modified.nanoseconds > 0 && now.modified.nanoseconds == 0);
    one.timeError = m_fs.setModified(one.folder->handle, one.name, whole ? time.roundedToSecond() : time);
}

void EndFlush::finish(const std::function<void(std::size_t row, std::string reason)>& failed) {
    // The window answers while a flush started behind the rows ends: on a slow drive that takes a while.
    if (m_flushingAhead.valid())
        while (m_flushingAhead.wait_for(TurnInterval) != std::future_status::ready)
            m_threads.turn();
    if (m_unflushed.empty() && m_namings.empty()) return;
    // One flush per file system.
    std::vector<std::uint64_t> devices;
    auto addDevice = [&](std::uint64_t device) {
        if (std::find(devices.begin(), devices.end(), device) == devices.end()) devices.push_back(device);
    };
    for (const Unflushed& copy : m_unflushed)
        addDevice(copy.folderDevice);
    for (const auto& [row, device] : m_namings)
        addDevice(device);
    // The data, before any copy gets the time that says it is complete. The times are not
    // flushed in their turn: should they be lost, the copies look older than their sources
    // and are copied again.
    const std::vector<int> flushErrors = flushFileSystems(devices);
    auto flushErrorOf = [&](std::uint64_t device) {
        return flushErrors[static_cast<std::size_t>(std::find(devices.begin(), devices.end(), device) -
                                                    devices.begin())];
    };
    // A replacement whose naming could not be flushed may yet be undone by a power cut; its
    // older file is then back in its place, and the row is not done.
    for (const auto& [row, device] : std::exchange(m_namings, {}))
        if (int error = flushErrorOf(device)) failed(row, words(error));

    const std::vector<Unflushed> copies = std::exchange(m_unflushed, {});
    // The copies still to finish, with their folders: looked up here, on this thread.
    std::vector<Finishing> finishing;
    for (std::size_t index = 0; index < copies.size(); ++index) {
        const Unflushed& copy = copies[index];
        // A copy a later row of this run replaced has nothing left to finish, even where the
        // file system gave the later copy the same inode number.
        if (copy.written->second.unflushed != index) continue;
        copy.written->second.unflushed = WrittenCopy::NoCopy;
        m_threads.turn();
        const std::string& path = copy.written->first;
        if (int error = flushErrorOf(copy.folderDevice); error != 0) {
            failed(copy.row, words(error));
            continue;
        }
        // The folder the copy went to: one moved away leaves nothing of the copy to finish.
        CopyResult failure;
        RunFolders::OpenFolder* open = m_folders.open(GetParentFolder(path), failure);
        if (!open && failure.error != ENOENT && failure.error != ENOTDIR) {
            failed(copy.row, failure.reason);
            continue;
        }
        if (!open || open->folder.device != copy.folderDevice || open->folder.inode != copy.folderInode)
            continue;
        finishing.push_back({&copy, &open->folder, GetFileName(path)});
    }
    // Many at a time: on network and FUSE drives each is a round trip, and on a local one the
    // lookups in a big folder keep a core busy.
    flushThroughFiles(finishing);
    if (!finishing.empty())
        m_threads.run(requestsInFlight(m_drives.type(*finishing.front().folder)), finishing.size(),
                      [&](std::size_t i) {
                          if (!finishing[i].gone && finishing[i].timeError == 0) giveTime(finishing[i]);
                      });
    for (Finishing& one : finishing) {
        // The run did not write a held copy: one that changed since it was read does not hold
        // what its row says it does.
        if (one.gone && one.copy->written->second.heldChanged) {
            failed(one.copy->row, std::string(ChangedDuringSyncReason));
            continue;
        }
        if (one.gone) continue;
        if (one.timeError != 0) {
            failed(one.copy->row, words(one.timeError));
            continue;
        }
        const WrittenCopy& written = one.copy->written->second;
        CopyResult kept = m_drives.keepComparableTime(*one.folder, one.name, written.device, written.inode,
                                                      one.copy->modified, one.copy->timeRule);
        if (!kept.done) failed(one.copy->row, kept.reason);
    }
}

} // namespace quellomir
