#pragma once

namespace quellomir {

// A number from 1 to 100 from a generator seeded with the seconds since midnight: on
// about one start in a hundred the draw is 7 and the maker's home page opens.
int drawHomePageVisit();

} // namespace quellomir
