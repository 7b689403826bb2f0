#include "sync/keep_in_trash.h"

#include "files/error_text.h"
#include "files/local_clock.h"
#include "files/trash_can.h"
#include "files/utf8.h"
#include "files/write_folder.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quellomir {
namespace {

// Names tried in the Trash before giving up; each taken one is a file of that name that is
// already there.
constexpr int NameAttempts = 1000;

// The longest name an entry of a Trash may have: its info file's name adds ".trashinfo", and
// no drive takes a name of more than 255 bytes.
constexpr std::size_t MaxTrashName = 255 - std::string_view(".trashinfo").size();

// The name of the `attempt`th try: the name itself, then "name.2", "name.3", ...; cut short,
// at the start of a character, where it would leave the info file no name. The info file
// keeps the whole original path, which is what a restore gives the file back.
std::string trashNameFor(const std::string& name, int attempt) {
    const std::string suffix = attempt == 1 ? std::string() : "." + std::to_string(attempt);
    if (name.size() + suffix.size() <= MaxTrashName) return name + suffix;
    return name.substr(0, cutAtCharacter(name, MaxTrashName - suffix.size())) + suffix;
}

// The errors with which a drive says that it has no hard links (FAT, exFAT).
bool cannotLink(int error) {
    return error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EXDEV;
}

bool keptAsItIs(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '-' || c == '_' || c == '.' || c == '~';
}

std::string percentEncoded(std::string_view path) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size());
    for (const char c : path) {
        if (keptAsItIs(c)) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += Hex[byte >> 4];
        encoded += Hex[byte & 15];
    }
    return encoded;
}

// The path the info file records: relative to the drive's top folder for a Trash there, so
// that a stick mounted elsewhere still restores; absolute for the home Trash.
std::string originalPath(FileSystem& fs, WriteFolder& folder, const std::string& name,
                         const TrashCan& trash) {
    std::string path;
    if (fs.realPath(folder.handle, path) != 0) path = folder.path;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    if (!trash.topdir.empty()) {
        const std::string top = trash.topdir == "/" ? "/" : trash.topdir + '/';
        if (path.starts_with(top)) path.erase(0, top.size());
    }
    return path;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// A move into the Trash for a drive that damages a folder when it renames a long name: the
// file is copied there and its own name removed, which such a drive does safely. An edit of
// the file while it is copied keeps it where it is.
int copyThenRemove(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                   const std::string& trashName) {
    FileFacts before, after;
    if (int error = fs.statAt(folder.handle, name, Follow::No, before)) return error;
    if (int error = copyIntoTrash(fs, folder, name, trash, trashName)) return error;
    int error = fs.statAt(folder.handle, name, Follow::No, after);
    if (error == 0 && !after.sameState(before)) error = EBUSY;
    if (error == 0) error = fs.unlinkAt(folder.handle, name);
    if (error != 0) fs.unlinkAt(trash.files, trashName);
    return error;
}

} // namespace

std::string recordedPath(std::string_view infoText, const TrashCan& trash) {
    const std::size_t key = infoText.find("\nPath=");
    if (key == std::string_view::npos) return {};
    const std::size_t start = key + 6;
    const std::string path = percentDecoded(infoText.substr(start, infoText.find('\n', start) - start));
    if (path.empty() || path.front() == '/') return path;
    if (trash.topdir.empty()) return {};
    return trash.topdir == "/" ? "/" + path : trash.topdir + "/" + path;
}

std::string trashInfoText(std::string_view originalPath, std::time_t deleted) {
    std::tm local{};
    long offset = 0;
    localTimeAt(deleted, local, offset);
    char date[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return "[Trash Info]\nPath=" + percentEncoded(originalPath) + "\nDeletionDate=" + date + "\n";
}

int keepInTrash(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
                KeptFile& kept) {
    if (trash.recycleBin) {
        // The system keeps where the file was; a drive without a bin refuses, and the file stays.
        kept.moved = true;
        kept.trashName = name;
        return fs.recycle(folder.handle, name);
    }
    const std::string info = trashInfoText(originalPath(fs, folder, name, trash), std::time(nullptr));
    for (int attempt = 1; attempt <= NameAttempts; ++attempt) {
        const std::string trashName = trashNameFor(name, attempt);
        const std::string infoName = trashName + ".trashinfo";
        // The info file first, as the desktop expects: a file in "files" without one is
        // shown nowhere.
        const int infoError = createTrashInfo(fs, trash, infoName, info);
        if (infoError == EEXIST) continue;
        if (infoError != 0) return infoError;
        int error = 0;
        if (trash.device != folder.device) {
            // The home Trash, for a drive without one of its own to use.
            error = copyIntoTrash(fs, folder, name, trash, trashName);
            kept.moved = false;
        } else if (folder.shortNamesOnly) {
            error = copyThenRemove(fs, folder, name, trash, trashName);
            kept.moved = true;
        } else {
            error = linkIntoTrash(fs, folder, name, trash, trashName);
            kept.moved = error != 0 && cannotLink(error);
            if (kept.moved) error = moveIntoTrash(fs, folder, name, trash, trashName);
        }
        if (error == 0) {
            kept.trashName = trashName;
            return 0;
        }
        fs.unlinkAt(trash.info, infoName);
        if (error != EEXIST) return error; // a file in "files" that lost its info file
    }
    return EEXIST;
}

std::string notKeptReason(const TrashCan& trash, int error) {
    return std::string(NotKeptReason) + (trash.path.empty() ? "" : trash.path + " \u2014 ") +
           errorText(error);
}

int putBack(FileSystem& fs, WriteFolder& folder, const std::string& name, TrashCan& trash,
            const KeptFile& kept, FileTime modified) {
    // Renamed back, its long name could damage the folder: it stays in the Trash, where the
    // desktop restores it.
    if (kept.moved && folder.shortNamesOnly) return EXDEV;
    // Nothing but the desktop takes a file back out of the Recycle Bin.
    if (trash.recycleBin) return EXDEV;
    const int error = kept.moved ? moveOutOfTrash(fs, trash, kept.trashName, folder, name)
                                 : fs.unlinkAt(trash.files, kept.trashName);
    // A drive that stamps renamed files (FAT through fusefat) gave the file moved back the time
    // of now, which would make it look newer than the file that was to replace it.
    FileFacts back;
    if (error == 0 && kept.moved && modified.known() &&
        fs.statAt(folder.handle, name, Follow::No, back) == 0 && back.modified != modified)
        fs.setModified(folder.handle, name, modified);
    // Without its file, the info file would show the desktop a file that is not there.
    if (error == 0) fs.unlinkAt(trash.info, kept.trashName + ".trashinfo");
    return error;
}

} // namespace quellomir
