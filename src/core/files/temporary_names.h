#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace quellomir {

// The "~" names of this program's copies in the making, on drives where a new file needs a
// name before it is complete. A name is unique to its writer: this boot of this machine, the
// process and the moment that process started (pids are reused), and a counter. Whether its
// writer still runs is told by the lock the writer holds on the file, not by the name: a pid
// means nothing in another PID namespace.
//   ~quellomir-<boot>-<pid>-<process start>-<unique>.tmp
// The short form is an 8.3 name, for drives that rename only such names safely: seven
// letters or digits drawn from the same writer's facts and counter,
//   ~QL<5 of them>.Q<2 of them>
// where the exclusive create that takes it tells a clash, and the next attempt draws again.
enum class TemporaryNameForm : std::uint8_t { Long, Short };
std::string temporaryName(unsigned attempt, TemporaryNameForm form = TemporaryNameForm::Long);
template <typename Folder> TemporaryNameForm temporaryNameFormOf(const Folder& folder) {
    return folder.shortNamesOnly ? TemporaryNameForm::Short : TemporaryNameForm::Long;
}

// Whether `name` is one of this program's temporary names.
bool isTemporaryName(std::string_view name);

// Whether a "~" file of this program that no run holds a lock on is a leftover all the same on
// a drive without locks: only once nobody has written to it for an hour, since its writer may
// be on another machine or in a container whose processes this one cannot see.
bool untouchedForAnHour(std::time_t changed);

} // namespace quellomir
