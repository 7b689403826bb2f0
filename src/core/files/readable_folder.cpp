#include "files/readable_folder.h"

namespace quellomir {
namespace {

// Thrown by the visitor to end the listing at its first entry: one entry shows as much
// as all of them.
struct Enough {};

} // namespace

int folderReadError(FileSystem& fs, const std::string& folder) {
    try {
        return fs.listFolder(folder, stat_kinds::None, [](const FolderEntry&) { throw Enough{}; });
    } catch (const Enough&) {
        return 0;
    }
}

} // namespace quellomir
