#pragma once

namespace quellomir {

// The window's mouse pointer. The busy value doubles as the program's busy flag: the
// Folder 1 side and the sample loader look at it before they empty the Folder 1 slot.
enum class CursorSetting { Default = 0, Busy = 11, Hand = 99 };

} // namespace quellomir
