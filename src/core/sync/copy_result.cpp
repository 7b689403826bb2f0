#include "sync/copy_result.h"

#include "files/error_text.h"

#include <system_error>

namespace quellomir {

CopyResult CopyResult::failure(int error) {
    CopyResult result = failure(errorText(error));
    result.error = error;
    return result;
}

} // namespace quellomir
