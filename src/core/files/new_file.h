#pragma once

#include "files/temporary_names.h"
#include "files/write_folder.h"
#include "fs/file_system.h"

#include <cstdint>
#include <string>

namespace quellomir {

// A copy on its way to its destination: a new file in a WriteFolder, open, either without
// any name yet or under a "~" name of its own (where the drive cannot make a file without a
// name). One that goes out of scope before it was named is closed and removed. Its folder
// must outlive it.
struct NewFile {
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile();

    FileFacts source;         // of the open source, links followed, read before its contents
    std::uint64_t device = 0; // the new file's, which its naming keeps
    std::uint64_t inode = 0;
    std::uint32_t owner = 0; // who the new file belongs to
    std::uint32_t group = 0;
    // Its permission bits as it was made with the source's: what the umask (or the folder's
    // default ACL) lets a new file have of them.
    std::uint32_t createdMode = 0;
    std::uint32_t mode = 0; // its permission bits now

    FileSystem* fs = nullptr; // set while there is something to close or remove
    WriteFolder* folder = nullptr;
    Handle file;
    Handle sourceFile;         // open until the copy is named or discarded
    std::string temporaryName; // empty while the file has no name
};

// Creates a new file in `folder` under a fresh "~" name of the form `form`, with the permission
// bits `mode`, and locks it: a run that finds it locked leaves it alone, whatever PID namespace
// or machine it runs in (where the drive has no locks, leftovers wait an hour before they are
// removed). `name` is the name it took.
int createTemporaryFile(FileSystem& fs, Handle& folder, TemporaryNameForm form, std::uint32_t mode,
                        Handle& file, std::string& name);

// Writes a small note of this run's into `folder` under a "~" name of its own, which
// `noteName` then holds, on the disk when it returns: a leftover of this program's like its
// other "~" files, held by this run (its lock stays with `held`) until it is removed.
int writeNote(FileSystem& fs, WriteFolder& folder, const std::string& contents, Handle& held,
              std::string& noteName);

// Creates a new file in `folder`, never replacing anything, and copies the contents of
// `source` into it. Where it has a name before it is named, the name begins with "~", so no
// comparison ever lists it. A source that is not a regular file is never opened: EISDIR for a
// folder, EINVAL for anything else, and ELOOP for a link when `followSource` is No. On failure
// nothing is left behind. An exception from `progress` passes through, and the new file is
// removed first.
int copyToNewFile(FileSystem& fs, const std::string& source, Follow followSource, WriteFolder& folder,
                  NewFile& made, const FileSystem::CopyProgress& progress = {});
// The facts of the copy's source as they are now, read through the handle the copy read it
// through; and its bytes, through that same handle.
int restatSource(FileSystem& fs, NewFile& file, FileFacts& facts);
int readSourceAt(FileSystem& fs, NewFile& file, std::int64_t offset, char* buffer, std::size_t size,
                 std::size_t& got);
// Sets a new file's last-write time to the nanosecond, its permission bits, or flushes its
// data to the disk.
int setModified(FileSystem& fs, NewFile& file, FileTime modified);
int setMode(FileSystem& fs, NewFile& file, std::uint32_t mode);
int syncFile(FileSystem& fs, NewFile& file);
// Keeps a handle on the new file's drive, so that it can be flushed after the file was named
// and closed, whether or not its folder can be read: the folder's where it can flush (one of
// the new file would keep that file alive after it was removed, which a FUSE drive shows as a
// ".fuse_hidden…" file a comparison would take for the user's).
int holdFileSystem(FileSystem& fs, NewFile& file, Handle& held);
// Gives a new file without a name a "~" name of its own in its folder, as it would get on its
// way to a name it replaces; nothing for one that has a name already. Done before the older
// file goes to the Trash, it leaves a run killed in between a leftover that the next run finds.
int nameTemporarily(FileSystem& fs, NewFile& file);
// Gives a new file the name `name` in its folder, and closes it. With Replace::No, something of
// that name (a link or a folder too) makes it fail with EEXIST, decided in the same step (by a
// rename that replaces nothing, or a second link where the drive has no such rename); a drive
// that can do neither fails with EINVAL. On failure the new file stays as it was, for another
// try or removal.
int nameNewFile(FileSystem& fs, NewFile& file, const std::string& name, Replace replace);
// Gives a new file the name `name` where the drive can decide "nothing is there" neither in a
// rename nor in a link (nameNewFile's EINVAL): creates `name` exclusively, empty, which fails
// with EEXIST in that one step when anything has the name, and renames the new file over that
// claim at once. On failure the claim is removed again while the name still holds it, empty,
// and the new file stays as it was.
int nameByCopy(FileSystem& fs, NewFile& file, const std::string& name);
// Closes a new file that is not to be named and removes it.
int discardNewFile(FileSystem& fs, NewFile& file);

} // namespace quellomir
