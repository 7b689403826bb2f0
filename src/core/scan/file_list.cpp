#include "scan/file_list.h"

#include "files/path_text.h"

#include <stdexcept>

namespace quellomir {

std::string FileList::path(std::size_t file) const {
    return joinPath(folders[m_files[file].folder], name(file));
}

void FileList::reserve(std::size_t files, std::size_t nameBytes) {
    m_files.reserve(m_files.size() + files);
    m_names.reserve(m_names.size() + nameBytes);
}

void FileList::truncate(std::size_t count) {
    if (count >= m_files.size()) return;
    m_names.resize(m_files[count].nameAt);
    m_files.resize(count);
}

void FileList::remove(std::size_t file) {
    const std::uint32_t at = m_files[file].nameAt;
    const std::uint32_t length = static_cast<std::uint32_t>(name(file).size());
    m_names.erase(at, length);
    m_files.erase(m_files.begin() + std::ptrdiff_t(file));
    for (std::size_t later = file; later < m_files.size(); ++later)
        m_files[later].nameAt -= length;
}

void FileList::tooManyNames() {
    throw std::length_error("the names of the files to compare in one folder tree exceed 4 GiB");
}

} // namespace quellomir
