#include "sync/copy_result.h"

#include <system_error>

namespace quellomir {

CopyResult CopyResult::failure(int error) {
    CopyResult result = failure(std::generic_category().message(error));
    result.error = error;
    return result;
}

} // namespace quellomir
