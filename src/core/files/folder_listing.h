#pragma once

#include "files/code_page.h"
#include "files/exclusions.h"
#include "fs/file_system.h"
#include "scan/file_list.h"
#include "scan/listing_memo.h"
#include "scan/unread_parts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quellomir {

// The files of one folder that the program admits: entries that, links followed, are
// regular files, and whose names the code page carries. The folder's own path is not
// tested: the chosen folder may have any name, and the scan has tested the names of
// the folders below it. Folders, FIFOs, sockets,
// devices and dangling links are left out without ever being opened. One stat per
// entry, relative to the open folder; the time comes from that same stat.

// `viaLink` tells a link to a file from the file itself.
using AdmittedFileVisitor = std::function<void(std::string_view name, const FileFacts& facts, bool viaLink)>;
// An entry that may be a file (a file, or a link) whose facts could not be read, with the
// errno; one that went away since the listing, or a dangling link, is not one.
using UnreadFileVisitor = std::function<void(std::string_view name, int error)>;

// Visits the admitted files of `folder` (with or without its trailing '/') in the
// order the file system gives them; with `listed`, the entries a listing of it gave a
// moment ago are stat'ed instead of reading it again. Returns 0 or the errno of the
// listing.
int forEachAdmittedFile(FileSystem& fs, const CodePage& codePage, const std::string& folder,
                        const AdmittedFileVisitor& visit, const ListedNames* listed = nullptr,
                        const UnreadFileVisitor& unread = {});

enum class NameFilter : std::uint8_t { All, NoTilde };

// Appends the admitted files of list.folders[folder] to the list, each with its
// last-write time. With NoTilde, names beginning with "~" are left out. A folder that
// does not exist (or is no folder) adds nothing; any other failure adds nothing and
// throws std::system_error with the OS's words and the folder. With the memo of the
// scan that found the folder, its entries are taken from there (and dropped from it).
// With `unread`, a file the filter would admit whose facts could not be read is named there.
// With `exclusions`, a file they leave out is not added but counted in the list's
// `leftOutFiles`; `below` is the folder's path below the chosen folder.
void appendFolderFiles(FileSystem& fs, const CodePage& codePage, FileList& list, std::uint32_t folder,
                       NameFilter filter = NameFilter::All, ListingMemo* memo = nullptr,
                       UnreadParts* unread = nullptr, const Exclusions* exclusions = nullptr,
                       std::string_view below = {});

} // namespace quellomir
