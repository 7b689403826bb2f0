#include "files/error_text.h"

#include <cerrno>
#include <system_error>

namespace quellomir {

std::string errorText(int error) {
    // The C runtime knows the words of the oldest errno values only; the others the program
    // uses get the words they have on Linux. A sharing violation says what it is.
    switch (error) {
    case EBUSY:
        return "the file is open in another program";
    case ENOTSUP:
    case EOPNOTSUPP:
        return "Operation not supported";
    case ELOOP:
        return "Too many levels of symbolic links";
    case ECANCELED:
        return "Operation canceled";
    case ENAMETOOLONG:
        return "File name too long";
    case ENOTEMPTY:
        return "Directory not empty";
    case ETIMEDOUT:
        return "Connection timed out";
    case EOVERFLOW:
        return "Value too large for defined data type";
    default:
        return std::generic_category().message(error);
    }
}

} // namespace quellomir
