#include "files/file_helpers.h"

#include "files/folder_listing.h"
#include "files/local_date.h"
#include "files/name_match.h"
#include "files/path_text.h"

#include <cerrno>
#include <system_error>
#include <vector>

namespace quellomir {
namespace {

bool matches(std::string_view pattern, const std::string& name) {
    if (pattern == "*.*" || pattern == "*") return true; // "*.*" also takes names without a dot
    return wildcardMatches(std::string(pattern), name, false);
}

} // namespace

FileNameArray FileHelpers::GetFolderFiles(std::string folder, std::string_view pattern) const {
    if (folder.empty() || folder.back() != '/') folder += '/';
    std::vector<std::string> names;
    int error =
        forEachAdmittedFile(m_fs, m_codePage, folder, [&](std::string_view name, const FileFacts&, bool) {
            std::string text(name);
            if (matches(pattern, text)) names.push_back(std::move(text));
        });
    if (error == ENOENT || error == ENOTDIR) return FileNameArray();
    if (error != 0) throw std::system_error(error, std::generic_category(), folder);
    return FileNameArray(std::move(names));
}

bool FileHelpers::CanOpenFile(const std::string& path) const {
    FileFacts facts;
    return m_codePage.carries(GetFileName(path)) && m_fs.stat(path, Follow::Yes, facts) == 0 &&
           facts.kind == EntryKind::Regular;
}

std::string FileHelpers::GetFileDateText(const std::string& path) const {
    FileFacts facts;
    if (!m_codePage.carries(GetFileName(path)) || m_fs.stat(path, Follow::Yes, facts) != 0) return {};
    return m_dates.text(FileTimeToLocalDate(WindowsFileTime(facts.modified)));
}

bool FileHelpers::IsFolder(const std::string& path) const {
    FileFacts facts;
    return m_fs.stat(path, Follow::Yes, facts) == 0 && facts.kind == EntryKind::Folder;
}

void FileHelpers::RemoveFile(const std::string& path, Yielder& yielder) const {
    yielder.tick();
    const std::size_t slash = path.rfind('/');
    Handle folder;
    if (slash == std::string::npos ||
        m_fs.openFolder(nullptr, path.substr(0, slash + 1), Follow::Yes, FolderAccess::LookUp, folder) != 0)
        return;
    m_fs.unlinkAt(folder, path.substr(slash + 1));
}

} // namespace quellomir
