#pragma once

#include "files/code_page.h"
#include "fs/file_system.h"
#include "handler/error_report.h"
#include "handler/yielder.h"
#include "scan/folder_list.h"
#include "scan/listing_memo.h"
#include "scan/listing_prefetch.h"
#include "scan/unread_parts.h"

namespace quellomir {

inline constexpr const char* FolderScanLocation =
    "in OrvendaTitle2021/08/31.AddFolder.GetSubDirectories2016 ";

// Expands `list` in place with the qualifying subfolders of its entries (all levels
// when `recurse`, the direct children otherwise), breadth-first: the entries it held,
// then all their children in enumeration order, then all grandchildren, and so on.
// Entries are the parent's entry, one separator, the child's name and '/'; seeds are
// taken as given, with or without their trailing separator.
//
// Left out with their subtrees: folders whose attributes are exactly hidden + system
// + directory (22), that plus reparse point (1046), names that are too long, hold an
// unsafe character or "?", or are "." / "..", and any folder already reached in this
// scan (same device and inode), so that link cycles end; so are the Trash folders
// (".Trash" and ".Trash-*" in a drive's top folder, and the user's home Trash wherever it
// lies) and a drive's "lost+found". A drive root always
// qualifies. An entry whose children cannot be listed for want of permission, or
// because it is gone, is removed; other failures leave it. Unexpected failures are
// reported with FolderScanLocation and the step's number (100 to 160), and the scan
// goes on.
//
// With a memo, the entries of each listed folder that are no folders are kept there
// for the file listing that follows. With I/O threads, folders are listed ahead of the
// scan on that many threads of their own (see ListingPrefetch); the result is the same.
//
// With `unread`, each folder left out because it could not be read (its facts, or its
// listing for want of permission) or because its path is too long to reach is named there.
//
// With `listedAhead`, the folders are taken from there, listed ahead with statKindsOfScan,
// and `ioThreads` is not used.
void GetSubDirectories2016(FolderList& list, bool recurse, FileSystem& fs, const CodePage& codePage,
                           ErrorReport& report, Yielder& yielder, ListingMemo* memo = nullptr,
                           unsigned ioThreads = 0, UnreadParts* unread = nullptr,
                           ListingPrefetch* listedAhead = nullptr);

// What the scan's listings stat: folders and links, and with a memo the files too.
unsigned statKindsOfScan(bool withMemo);

} // namespace quellomir
