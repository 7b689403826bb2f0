#include "sync/safe_file_copy.h"

#include "files/path_text.h"
#include "files/write_folder.h"
#include "sync/normalize_backslashes.h"

#include <cerrno>

namespace quellomir {
namespace {

bool isBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

bool missing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// Whether the source can be copied; else the reason it cannot.
CopyResult checkSource(FileSystem& fs, const std::string& source) {
    FileFacts facts;
    const int error = fs.stat(source, Follow::Yes, facts);
    if (missing(error)) return CopyResult::failure(std::string(SourceMissingReason));
    if (error != 0) return CopyResult::failure(error);
    if (facts.kind != EntryKind::Regular) return CopyResult::failure(std::string(SourceNotAFileReason));
    return CopyResult::success(facts.modified);
}

// The reason a copy that failed was not made: the source's, when the error is one with which
// the copy says that the source is missing or no file; else the copy's own.
CopyResult explain(FileSystem& fs, const std::string& source, CopyResult failed) {
    if (!missing(failed.error) && failed.error != EISDIR && failed.error != EINVAL) return failed;
    if (CopyResult check = checkSource(fs, source); !check.done) return check;
    return failed;
}

// Opens a folder for one copy when no sync run keeps it.
class OneCopyFolder final : public WriteFolders {
  public:
    explicit OneCopyFolder(FileSystem& fs) : m_fs(fs) {}
    CopyResult open(const std::string& path, WriteFolder*& folder) override {
        if (int error = openWriteFolder(m_fs, path, m_folder)) return CopyResult::failure(error);
        folder = &m_folder;
        return CopyResult::success({});
    }

  private:
    FileSystem& m_fs;
    WriteFolder m_folder;
};

} // namespace

CopyResult SafeFileCopy(FileSystem& fs, const std::string& source, const std::string& destination,
                        const CopyOptions& options, WriteFolders* folders) {
    if (isBlank(source) || isBlank(destination)) return CopyResult::failure(std::string(EmptyPathReason));
    const std::string dst = NormalizeBackslashes(destination);
    return copyIntoFolder(fs, NormalizeBackslashes(source), GetParentFolder(dst), GetFileName(dst), options,
                          folders);
}

CopyResult copyIntoFolder(FileSystem& fs, const std::string& src, const std::string& folderPath,
                          const std::string& name, const CopyOptions& options, WriteFolders* folders) {
    if (isBlank(src) || (isBlank(folderPath) && isBlank(name)))
        return CopyResult::failure(std::string(EmptyPathReason));
    if (name.empty()) return CopyResult::failure(EISDIR);

    // A destination without a folder has none that exists: nothing is copied.
    OneCopyFolder ownFolder(fs);
    WriteFolder* folder = nullptr;
    CopyResult opened = folderPath.empty() ? CopyResult::failure(ENOENT)
                                           : (folders ? *folders : ownFolder).open(folderPath, folder);
    if (!opened.done) {
        if (!missing(opened.error)) return opened;
        if (CopyResult check = checkSource(fs, src); !check.done) return check;
        return CopyResult::failure(std::string(opened.error == ENOTDIR ? FileInPlaceOfFolderReason
                                                                       : DestinationFolderMissingReason));
    }
    // The copy finds out by itself that the source is a file (it never opens anything else);
    // the reason it cannot be made is looked for only when it cannot, which saves a stat.
    CopyResult result = CopyFileOverwrite(fs, src, *folder, name, options);
    if (result.done) return result;
    return explain(fs, src, std::move(result));
}

} // namespace quellomir
