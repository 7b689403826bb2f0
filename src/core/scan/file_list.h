#pragma once

#include "fs/file_time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellomir {

// One file of a FileList. The name is not here but in the list's name bytes, from
// `nameAt` to where the next file's name begins: 28 bytes a file and no allocation
// per name. The time and size are kept in 32-bit halves, so that no padding rounds a file
// up to 32.
struct ListedFile {
    ListedFile() = default;
    ListedFile(FileTime time, std::uint32_t folderIndex, bool link, std::uint32_t nameStart,
               std::uint64_t bytes = 0)
        : m_secondsLow(static_cast<std::uint32_t>(time.seconds)),
          m_secondsHigh(static_cast<std::int32_t>(time.seconds >> 32)), m_nanoseconds(time.nanoseconds),
          m_sizeLow(static_cast<std::uint32_t>(bytes)), m_sizeHigh(static_cast<std::uint32_t>(bytes >> 32)),
          folder(folderIndex), viaLink(link), nameAt(nameStart) {}

    FileTime modified() const {
        const std::uint64_t bits =
            (static_cast<std::uint64_t>(static_cast<std::uint32_t>(m_secondsHigh)) << 32) | m_secondsLow;
        return {static_cast<std::int64_t>(bits), m_nanoseconds};
    }
    // The size in bytes as listed: on FAT, two files an hour apart are the same file only
    // when their sizes agree too.
    std::uint64_t size() const { return (static_cast<std::uint64_t>(m_sizeHigh) << 32) | m_sizeLow; }

  private:
    std::uint32_t m_secondsLow = 0;
    std::int32_t m_secondsHigh = 0;
    std::int32_t m_nanoseconds = -1;
    std::uint32_t m_sizeLow = 0;
    std::uint32_t m_sizeHigh = 0;

  public:
    std::uint32_t folder : 31 = 0; // index into FileList::folders
    // Listed through a link to it: the sync reads it through the link again, and only then.
    std::uint32_t viaLink : 1 = 0;
    std::uint32_t nameAt = 0; // where the name begins in the list's name bytes
};
static_assert(sizeof(ListedFile) == 28, "a million files per side should cost 28 MB, not 32");

// The files of one side of a comparison, in listing order. Each file names its folder
// by index, so a million files do not carry a million copies of their folder paths, and
// the names lie back to back in one buffer, so they do not cost a heap block each.
class FileList {
  public:
    std::vector<std::string> folders; // folder paths as the scan gives them, ending with '/'
    // Folders in which a name of this program's "~" files was seen, which take no part in the
    // list: a sync finishes there what a stopped run left, even where no row writes.
    std::vector<std::uint32_t> foldersWithOwnNames;
    // What the user's exclusions left out: files, and folders with all below them.
    std::size_t leftOutFiles = 0;
    std::size_t leftOutFolders = 0;

    std::size_t size() const { return m_files.size(); }
    bool empty() const { return m_files.empty(); }
    const ListedFile& file(std::size_t file) const { return m_files[file]; }
    std::string_view name(std::size_t file) const {
        const std::size_t at = m_files[file].nameAt;
        const std::size_t end = file + 1 < m_files.size() ? m_files[file + 1].nameAt : m_names.size();
        return {m_names.data() + at, end - at};
    }
    // The full path: the folder without its trailing separator, a separator, the name.
    std::string path(std::size_t file) const;

    // Makes room for `files` more files whose names take `nameBytes` bytes together, so
    // that a listing of known size does not grow the list by doubling it.
    void reserve(std::size_t files, std::size_t nameBytes);
    void add(std::string_view name, std::uint32_t folder, FileTime modified, bool viaLink = false,
             std::uint64_t size = 0) {
        if (m_names.size() > MaxNameAt) tooManyNames();
        m_files.emplace_back(modified, folder, viaLink, static_cast<std::uint32_t>(m_names.size()), size);
        m_names.append(name);
    }
    // Drops the files from `count` on, and their names.
    void truncate(std::size_t count);
    // Drops one file and its name; the files after it move up one place.
    void remove(std::size_t file);
    void setModified(std::size_t file, FileTime modified) {
        const ListedFile& was = m_files[file];
        m_files[file] = ListedFile(modified, was.folder, was.viaLink, was.nameAt, was.size());
    }

  private:
    static constexpr std::size_t MaxNameAt = UINT32_MAX;
    [[noreturn]] static void tooManyNames();

    std::vector<ListedFile> m_files;
    std::string m_names;
};

} // namespace quellomir
