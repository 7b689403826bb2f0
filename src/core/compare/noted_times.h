#pragma once

#include "fs/file_system.h"
#include "scan/file_list.h"

namespace quellomir {

// A run killed between a copy's rename and its time, on a drive that gives a renamed file the
// time of now, leaves the copy looking newer than its source, and a note beside it of the time
// it is to have. The next sync obeys the note before any row; the comparison before it takes
// that time for the copy already, so that it never plans the copy back over its source. Only
// a note of this user's runs counts, naming a copy that still has the note's size and bytes.
void takeNotedTimes(FileSystem& fs, FileList& files);

} // namespace quellomir
