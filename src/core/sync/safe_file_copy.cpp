#include "sync/safe_file_copy.h"

#include "files/path_text.h"
#include "sync/normalize_backslashes.h"

#include <cerrno>

namespace quellomir {
namespace {

bool isBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// Whether the source can be copied; else the reason it cannot.
CopyResult checkSource(FileSystem& fs, const std::string& source) {
    FileFacts facts;
    const int error = fs.stat(source, Follow::Yes, facts);
    if (error == ENOENT || error == ENOTDIR) return CopyResult::failure(std::string(SourceMissingReason));
    if (error != 0) return CopyResult::failure(error);
    if (facts.kind != EntryKind::Regular) return CopyResult::failure(std::string(SourceNotAFileReason));
    return CopyResult::success(facts.modified);
}

bool isFolder(FileSystem& fs, const std::string& path) {
    FileFacts facts;
    return !path.empty() && fs.stat(path, Follow::Yes, facts) == 0 && facts.kind == EntryKind::Folder;
}

// The reason a copy that failed was not made: the source's or the folder's, when the error
// is one with which the copy says that the source is missing or no file, or the folder is
// missing; else the copy's own.
CopyResult explain(FileSystem& fs, const std::string& source, const std::string& folder, CopyResult failed) {
    if (failed.error != ENOENT && failed.error != ENOTDIR && failed.error != EISDIR && failed.error != EINVAL)
        return failed;
    if (CopyResult check = checkSource(fs, source); !check.done) return check;
    if (!isFolder(fs, folder)) return CopyResult::failure(std::string(DestinationFolderMissingReason));
    return failed;
}

} // namespace

CopyResult SafeFileCopy(FileSystem& fs, const std::string& source, const std::string& destination,
                        const CopyOptions& options) {
    if (isBlank(source) || isBlank(destination)) return CopyResult::failure(std::string(EmptyPathReason));
    const std::string src = NormalizeBackslashes(source);
    const std::string dst = NormalizeBackslashes(destination);
    const std::string folder = GetParentFolder(dst);

    // The copy finds out by itself that the source is a file and the folder is there (it
    // never opens anything else, and creates no folder); the reason it cannot be made is
    // looked for only when it cannot, which saves two stats a file.
    CopyResult result =
        folder.empty() ? CopyResult::failure(ENOENT) : CopyFileOverwrite(fs, src, dst, options);
    if (result.done) return result;
    return explain(fs, src, folder, std::move(result));
}

} // namespace quellomir
