#pragma once

#include <string>
#include <vector>

namespace quellomir {

// Folder paths, each ending with '/', in the order the scan puts them: the seeds,
// then their subfolders breadth-first. It moves straight into FileList::folders.
using FolderList = std::vector<std::string>;

} // namespace quellomir
