#pragma once

#include "compare/plan.h"
#include "files/code_page.h"
#include "files/exclusions.h"
#include "fs/file_system.h"
#include "handler/error_report.h"
#include "handler/numbered_handler.h"
#include "handler/yielder.h"
#include "scan/unread_parts.h"

#include <cstddef>
#include <functional>
#include <string>

namespace quellomir {

inline constexpr const char* CompareRunLocation = "in Quellomir2021/08/31.Form1.PushButton5_Click ";

struct CompareContext {
    FileSystem& fs;
    const CodePage& codePage;
    ErrorReport& scanReport; // the scan reports under its own location
    Yielder& yielder;
    std::size_t& filesListed; // how far the run has got, for the window to show
    // Threads that list folders ahead of the scan: the scan's own choice (DefaultThreads), or a
    // number of one's own, 0 for none.
    static constexpr int DefaultThreads = -1;
    int ioThreads = DefaultThreads;
    // Where the folders and files that could not be read go, when the caller names them.
    UnreadParts* unread = nullptr;
    Pairing pairing = Pairing::ByName;
    // Files and folders the user leaves out of both sides.
    Exclusions exclusions{};
};

// The compare run from reading the two folders to the ticked plan, under the handler
// `h`: each side is scanned and its folders' files listed (names beginning with "~" left
// out), then the rules make the plan. The folder texts are asked for when the run gets
// to them, as the slots show them, separator included.
Plan compareFolders(NumberedHandler& h, const std::function<std::string()>& folder1,
                    const std::function<std::string()>& folder2, CompareContext& context);

} // namespace quellomir
