#include "sync/learned_drives.h"

#include "files/write_folder.h"
#include "fs/drive_kinds.h"
#include "sync/sync_reasons.h"

#include <algorithm>

namespace quellomir {
namespace {

bool among(const std::vector<std::uint64_t>& devices, std::uint64_t device) {
    return std::find(devices.begin(), devices.end(), device) != devices.end();
}

} // namespace

std::uint64_t LearnedDrives::type(const WriteFolder& folder) {
    auto [known, isNew] = m_types.try_emplace(folder.device, 0);
    if (isNew && m_fs.fileSystemType(folder.path, known->second) != 0) known->second = 0;
    return known->second;
}

bool LearnedDrives::writesMoveTimes(const WriteFolder& folder) {
    auto [known, isNew] = m_writesMoveTimes.try_emplace(folder.device, true);
    std::string mountType;
    if (isNew && m_fs.mountType(folder.path, mountType) == 0)
        known->second = quellomir::writesMoveTimes(mountType);
    return known->second;
}

bool LearnedDrives::timesFrom1980To2107(const WriteFolder& folder) {
    auto [known, isNew] = m_timesFrom1980.try_emplace(folder.device, false);
    if (isNew) {
        std::string mountType;
        if (m_fs.mountType(folder.path, mountType) != 0) mountType.clear();
        known->second = quellomir::timesFrom1980To2107(type(folder), mountType);
    }
    return known->second;
}

NameRule LearnedDrives::nameRule(const WriteFolder& folder) {
    auto [known, isNew] = m_nameRules.try_emplace(folder.device, NameRule::Any);
    if (isNew) {
        std::string mountType;
        if (m_fs.mountType(folder.path, mountType) != 0) mountType.clear();
        known->second = nameRuleOf(type(folder), mountType);
    }
    return known->second;
}

bool LearnedDrives::dropsFractions(std::uint64_t device) const {
    return among(m_wholeSecondDevices, device);
}

Handle& LearnedDrives::fileSystemHandle(std::uint64_t device) {
    for (auto& [held, handle] : m_fileSystems)
        if (held == device) return handle;
    return m_fileSystems.emplace_back(device, Handle()).second;
}

CopyResult LearnedDrives::keepComparableTime(WriteFolder& folder, const std::string& name,
                                             std::uint64_t device, std::uint64_t inode, FileTime time,
                                             TimeRule rule) {
    const bool exactDrive = among(m_exactTimeDevices, device);
    if (exactDrive && heldByEveryDrive(time)) return CopyResult::success(time);
    FileFacts kept;
    if (int error = m_fs.statAt(folder.handle, name, Follow::No, kept)) return CopyResult::failure(error);
    if (kept.device != device || kept.inode != inode)
        return CopyResult::success(time); // not the copy any more
    if (time.nanoseconds != 0 && kept.modified.nanoseconds == 0 && !dropsFractions(device))
        m_wholeSecondDevices.push_back(device);
    if (kept.modified == time) {
        // A time without a fraction comes back whole from a drive of whole seconds too.
        if (time.nanoseconds != 0 && !exactDrive) m_exactTimeDevices.push_back(device);
        return CopyResult::success(time);
    }
    if (compareWriteTimes(kept.modified, time, rule) == 0) return CopyResult::success(time);
    // A drive changes a time it is given only by cutting its fraction off or rounding it to 2
    // seconds, or by clamping one outside its range. Further off, the file was written since,
    // by the user or another program, whose time stays with what they wrote.
    const std::int64_t apart = kept.modified.seconds - time.seconds;
    if (heldByEveryDrive(time) && (apart > 2 || apart < -2)) return CopyResult::success(time);
    if (int error = m_fs.setModified(folder.handle, name, time.roundedToSecond()))
        return CopyResult::failure(error);
    if (int error = m_fs.statAt(folder.handle, name, Follow::No, kept)) return CopyResult::failure(error);
    if (compareWriteTimes(kept.modified, time, rule) != 0)
        return CopyResult::failure(std::string(TimeNotKeptReason));
    return CopyResult::success(time);
}

} // namespace quellomir
