#include "files/local_clock.h"

namespace quellomir {

bool localTimeAt(std::time_t seconds, std::tm& local, long& offset) {
    std::tm found{};
    if (!::localtime_r(&seconds, &found)) return false;
    local = found;
    offset = found.tm_gmtoff;
    return true;
}

} // namespace quellomir
