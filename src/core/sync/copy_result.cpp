#include "sync/copy_result.h"

#include <system_error>

namespace quellomir {

CopyResult CopyResult::failure(int error) {
    return failure(std::generic_category().message(error));
}

} // namespace quellomir
