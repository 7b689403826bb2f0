#pragma once

#include "files/new_file.h"
#include "files/write_folder.h"
#include "fs/file_system.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quellomir {

// Reading files through the seam, for the proofs a run needs before it lets a file go or
// takes one for its own: what a small file says, whether two files hold the same bytes, and
// a checksum that a later edit breaks.

// The contents of the regular file `name` of the folder held at `folder`, at most `most`
// bytes of them, and its facts as it was opened.
int readSmallFile(FileSystem& fs, Handle& folder, const std::string& name, std::size_t most,
                  std::string& contents, FileFacts& facts);

// A 64-bit checksum of bytes, fed piece by piece: no two versions of a file a user makes
// are expected to share one, though nothing stops a deliberate forger.
class ContentsHash {
  public:
    void add(const char* bytes, std::size_t size);
    std::uint64_t value() const;

  private:
    std::uint64_t m_state = 0x243F6A8885A308D3ull;
    std::uint64_t m_length = 0;
    unsigned char m_tail[8] = {};
    std::size_t m_tailSize = 0;
    void mix(std::uint64_t word);
};

// The checksum of a file opened to read, or of a new file's source through the descriptor
// the copy read it through (the same bytes as the copy, once the source is seen unchanged).
// For a file opened to read, whose facts as opened were `opened`: ESTALE when it was written
// to while it was read, for then the checksum proves nothing.
int hashOfFile(FileSystem& fs, Handle& file, const FileFacts& opened, std::uint64_t& hash);
int hashOfSource(FileSystem& fs, NewFile& file, std::uint64_t& hash);

// Whether the entry `name` of `folder` holds exactly the bytes of `file`'s source, read
// through both; `there` is what the entry was before, and a file written to during the
// reading is not the same. Only regular files of one size are read at all.
int sameContents(FileSystem& fs, NewFile& file, WriteFolder& folder, const std::string& name,
                 const FileFacts& there, bool& same);

// Whether the entry `name` of `folder`, whose facts were `there`, holds exactly the bytes of
// the regular file `sourceName` of `sourceFolder` (never through a link) with the time
// `sourceTime`, read through both; neither may be written to during the reading.
int holdsBytesOf(FileSystem& fs, Handle& sourceFolder, const std::string& sourceName, FileTime sourceTime,
                 WriteFolder& folder, const std::string& name, const FileFacts& there, bool& same);

// Whether the regular file `name` of the folder held at `folder` holds the first bytes of the
// regular file `whole` there and nothing more, both the running user's with one name, neither
// written to during the reading: what a copy of `whole` cut short holds.
int isStartOf(FileSystem& fs, Handle& folder, const std::string& name, const std::string& whole, bool& start);

} // namespace quellomir
