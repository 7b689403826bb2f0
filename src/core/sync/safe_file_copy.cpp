#include "sync/safe_file_copy.h"

#include "files/path_text.h"
#include "sync/normalize_backslashes.h"

#include <cerrno>

namespace quellomir {
namespace {

bool isBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// Reads the facts of the source when it can be copied; else the reason it cannot.
CopyResult checkSource(FileSystem& fs, const std::string& source, FileFacts& facts) {
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

} // namespace

CopyResult SafeFileCopy(FileSystem& fs, const std::string& source, const std::string& destination,
                        const CopyOptions& options) {
    if (isBlank(source) || isBlank(destination)) return CopyResult::failure(std::string(EmptyPathReason));
    const std::string src = NormalizeBackslashes(source);
    const std::string dst = NormalizeBackslashes(destination);

    FileFacts facts;
    if (CopyResult check = checkSource(fs, src, facts); !check.done) return check;
    if (!isFolder(fs, GetParentFolder(dst)))
        return CopyResult::failure(std::string(DestinationFolderMissingReason));
    return CopyFileOverwrite(fs, src, facts, dst, options);
}

} // namespace quellomir
