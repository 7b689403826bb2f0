#include "scan/folder_attributes.h"

#include "fs/drive_kinds.h"

#include <cerrno>
#include <system_error>

namespace quellomir {
namespace {

[[noreturn]] void fail(int error, const std::string& path) {
    throw std::system_error(error, std::generic_category(), path);
}

} // namespace

bool FolderAttributeReader::onFat(const std::string& path, std::uint64_t device) {
    auto known = m_fatDevices.find(device);
    if (known != m_fatDevices.end()) return known->second;
    std::uint64_t type = 0;
    if (int error = m_fs.fileSystemType(path, type)) fail(error, path);
    bool fat = fatFamily(type);
    m_fatDevices.emplace(device, fat);
    return fat;
}

std::uint32_t FolderAttributeReader::read(const std::string& path, const FileFacts& followed,
                                          std::optional<bool> link) {
    std::uint32_t bits = followed.kind == EntryKind::Folder ? attributes::Directory : 0;

    // The folder's own entry: without the trailing '/', or the stat would follow a link.
    std::string own = path;
    while (own.size() > 1 && own.back() == '/')
        own.pop_back();
    std::size_t slash = own.rfind('/');
    std::string_view name =
        slash == std::string::npos ? std::string_view(own) : std::string_view(own).substr(slash + 1);
    if (!name.empty() && name.front() == '.') bits |= attributes::Hidden;

    if (!link) {
        FileFacts facts;
        if (int error = m_fs.stat(own, Follow::No, facts)) fail(error, path);
        link = facts.kind == EntryKind::Link;
    }
    if (*link) bits |= attributes::ReparsePoint;

    if (onFat(path, followed.device)) {
        std::uint32_t fat = 0;
        int error = m_fs.fatAttributes(path, fat);
        if (error == 0)
            bits |=
                fat & (attributes::ReadOnly | attributes::Hidden | attributes::System | attributes::Archive);
        else if (error != ENOTTY && error != EINVAL && error != EOPNOTSUPP)
            fail(error, path); // a driver without the ioctl simply has no byte to give
    }
    return bits;
}

} // namespace quellomir
