#include "sync/copy_file_overwrite.h"

#include "files/path_text.h"

#include <cerrno>

namespace quellomir {
namespace {

// File systems without Unix permission bits (FAT, exFAT, NTFS by some drivers) refuse
// to take them; the copy is still good there.
bool cannotKeepMode(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// The steps after the copy, on the new file; 0 or the errno of the failing step.
int finishNewFile(FileSystem& fs, NewFile& file, FileTime sourceTime, std::uint32_t mode, Flush flush) {
    const FileTime time = flush == Flush::Now ? sourceTime : provisionalTime(sourceTime);
    if (int error = fs.setModified(file, time)) return error;
    if (int error = fs.setMode(file, mode); error != 0 && !cannotKeepMode(error)) return error;
    if (flush == Flush::Now)
        if (int error = fs.syncFile(file)) return error;
    return 0;
}

// Gives the new file the destination name, replacing what is there only when asked to.
int takeName(FileSystem& fs, NewFile& file, const std::string& destination, Replace replace) {
    const int error = fs.nameNewFile(file, destination, replace);
    if (error != EINVAL || replace == Replace::Yes) return error;
    // A file system that cannot refuse in the naming itself (some network and FUSE ones):
    // the look and the naming are two steps there.
    FileFacts facts;
    if (fs.stat(destination, Follow::No, facts) == 0) return EEXIST;
    return fs.nameNewFile(file, destination, Replace::Yes);
}

} // namespace

FileTime provisionalTime(FileTime sourceTime) {
    return {sourceTime.seconds - 2, sourceTime.nanoseconds};
}

CopyResult CopyFileOverwrite(FileSystem& fs, const std::string& source, const std::string& destination,
                             const CopyOptions& options) {
    std::string folder = GetParentFolder(destination);
    if (folder.empty()) folder = "./"; // a bare name lives in the working folder
    NewFile made;
    if (int error = fs.copyToNewFile(source, folder, made, options.progress))
        return CopyResult::failure(error);

    // The source's time as it was opened, before its contents were read: should it change
    // meanwhile, the copy carries the older time and the next comparison plans it again.
    FileTime sourceTime = made.source.modified;
    if (options.sourceFinalTime && sourceTime == provisionalTime(*options.sourceFinalTime))
        sourceTime = *options.sourceFinalTime;
    int error = sourceTime.known() ? 0 : EIO;
    if (error == 0) error = finishNewFile(fs, made, sourceTime, made.source.mode, options.flush);
    if (error == 0) error = takeName(fs, made, destination, options.replace);
    if (error != 0) {
        fs.discardNewFile(made);
        return CopyResult::failure(error);
    }
    if (options.flush == Flush::Now)
        if (int folderError = fs.syncFolder(folder)) return CopyResult::failure(folderError);
    CopyResult result = CopyResult::success(sourceTime);
    result.device = made.device;
    result.inode = made.inode;
    return result;
}

} // namespace quellomir
