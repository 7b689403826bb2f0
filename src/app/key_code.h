#pragma once

class QKeyEvent;

namespace quellomir {

// The key code the list handlers are given: the platform-neutral numbers in which 46 is
// the Delete key (8 Backspace, 13 Return, 32 Space, 37 to 40 the arrows, 48 to 57 the
// digits, 65 to 90 the letters, 112 on the function keys, 190 the full stop), and 0 for
// a key that has none. Qt's own key values cannot be handed on: its "." is 46 as well.
int keyCodeOf(const QKeyEvent& event);

} // namespace quellomir
