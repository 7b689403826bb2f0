#include "files/error_text.h"

#include <system_error>

namespace quellomir {

std::string errorText(int error) {
    return std::generic_category().message(error);
}

} // namespace quellomir
