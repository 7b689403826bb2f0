#pragma once

#include "files/code_page.h"
#include "files/date_text_format.h"
#include "files/file_name_array.h"
#include "fs/file_system.h"
#include "handler/yielder.h"

#include <string>
#include <string_view>

namespace quellomir {

// The small file facts the rest of the program asks for. All go through the
// file-system seam. CanOpenFile, IsFolder and RemoveFile turn every failure into
// false or nothing; GetFolderFiles passes failures on as std::system_error.
class FileHelpers {
  public:
    FileHelpers(FileSystem& fs, const CodePage& codePage) : m_fs(fs), m_codePage(codePage) {}

    // The admitted files directly in `folder` (trailing '/' or not) whose names match
    // `pattern` ("*.*" and "*" match every name). A missing folder gives no names.
    FileNameArray GetFolderFiles(std::string folder, std::string_view pattern) const;

    // A path the system would let the program open: links followed, a regular file,
    // its name carried by the code page (the folders above it are not tested). Never
    // opens anything.
    bool CanOpenFile(const std::string& path) const;

    // The local last-write time in the user's general date format, to the second;
    // empty when the file cannot be found.
    std::string GetFileDateText(const std::string& path) const;

    // True for a folder, or a link to one, with or without a trailing '/'.
    bool IsFolder(const std::string& path) const;

    // Lets the window answer, then deletes the file; read-only files go like any other
    // where the folder is writable. A failure is ignored.
    void RemoveFile(const std::string& path, Yielder& yielder) const;

  private:
    FileSystem& m_fs;
    const CodePage& m_codePage;
    DateTextFormat m_dates;
};

} // namespace quellomir
