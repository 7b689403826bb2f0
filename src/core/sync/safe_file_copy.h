#pragma once

#include "files/write_folder.h"
#include "fs/file_system.h"
#include "sync/copy_file_overwrite.h"
#include "sync/copy_result.h"

#include <string>
#include <string_view>

namespace quellomir {

// The reasons SafeFileCopy gives before it tries anything.
inline constexpr std::string_view EmptyPathReason = "the source or the destination is empty";
inline constexpr std::string_view SourceMissingReason = "the source file is missing";
inline constexpr std::string_view SourceNotAFileReason = "the source is not a file";
inline constexpr std::string_view DestinationFolderMissingReason = "the destination folder is missing";
inline constexpr std::string_view FileInPlaceOfFolderReason =
    "a file is in the destination where its folder should be";

// Where SafeFileCopy gets the folder it writes into. A sync run keeps the folders it writes
// to open, and makes sure that they lie where they should.
class WriteFolders {
  public:
    virtual ~WriteFolders() = default;
    // The folder `path` (ending with '/'), open for writing, or why it is not to be written.
    virtual CopyResult open(const std::string& path, WriteFolder*& folder) = 0;
};

// Copies one file for the sync run and tells what happened. Both paths have their doubled
// separators tidied; an empty or all-blank one is refused. The copy is made only when the
// source is a file (a link is followed unless the options say otherwise) and the
// destination's folder exists; no folder is ever created. "?" and "*" are name characters
// like any other: the source is always exactly one file. The copy itself is
// CopyFileOverwrite's, into the folder `folders` gives, or one opened for this copy alone.
// Never throws, except what the progress function throws.
CopyResult SafeFileCopy(FileSystem& fs, const std::string& source, const std::string& destination,
                        const CopyOptions& options = {}, WriteFolders* folders = nullptr);
// The same for paths tidied already, the destination as its folder (ending with '/') and
// its name: a sync run's row, resolved once.
CopyResult copyIntoFolder(FileSystem& fs, const std::string& source, const std::string& folderPath,
                          const std::string& name, const CopyOptions& options, WriteFolders* folders);

} // namespace quellomir
