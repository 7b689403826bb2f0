#include "files/trash_can.h"

namespace quellomir {

bool systemHasRecycleBin() {
    return true;
}

} // namespace quellomir
