#pragma once

#include "compare/plan.h"
#include "files/exclusions.h"
#include "fs/file_system.h"
#include "scan/file_list.h"
#include "scan/unread_parts.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quellomir::testing {

// Facts of real files, read without the seam, for sync tests to check what reached the disk.
std::string contentsOf(const std::string& path);
FileTime timeOf(const std::string& path); // the file itself, a link not followed
std::uint32_t modeOf(const std::string& path);
bool exists(const std::string& path); // a dangling link exists too
void setTime(const std::string& path, FileTime time);
// `path`, once its file was given the last-write time `time`.
std::string withTime(std::string path, FileTime time);
void setMode(const std::string& path, std::uint32_t mode);

// The names in a folder, sorted, and those of them that begin with "~".
std::vector<std::string> namesIn(const std::string& folder);
std::vector<std::string> temporaryNamesIn(const std::string& folder);

// The compare run over two real folders (their texts as the slots give them, with the
// trailing separator), as the window's "3. Start Comparing" makes it.
Plan comparePlan(FileSystem& fs, const std::string& folder1, const std::string& folder2,
                 UnreadParts* unread = nullptr, Pairing pairing = Pairing::ByName,
                 Exclusions exclusions = {});

// The rows of a plan as "source|action|destination", for readable failures.
std::vector<std::string> rowTexts(const Plan& plan);

} // namespace quellomir::testing
