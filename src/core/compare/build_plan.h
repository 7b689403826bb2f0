#pragma once

#include "compare/plan.h"
#include "handler/yielder.h"
#include "scan/file_list.h"

#include <functional>
#include <string>

namespace quellomir {

// The whole comparison of two listed sides: copy rows for Folder 1's files that Folder 2
// lacks (into Folder 2's top), then copy rows for Folder 2's files that Folder 1 lacks,
// then the overwrite rows, all ticked. The folders are the slot texts, separator included.
// Where either folder lies on FAT, write times are compared with FAT's tolerance. Files pair
// by name alone, or by their place below the chosen folders.
// `statement`, when given, runs each step under the number the window reports a failure
// with (156 the matching of names, 158 Folder 2's unmatched files, 160 and 170 the copy rows
// of each side, 180 the overwrite rows, 182 the ticks); a step that fails leaves what it had
// made and the next one goes on.
using RunStatement = std::function<void(int line, const std::function<void()>& step)>;
Plan buildPlan(FileList files1, FileList files2, std::string folder1, std::string folder2, Yielder& yielder,
               FatTimes fat = {}, Pairing pairing = Pairing::ByName, const RunStatement& statement = {});

} // namespace quellomir
