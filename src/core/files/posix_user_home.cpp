#include "files/trash_can.h"

#include <pwd.h>
#include <unistd.h>

namespace quellomir {

std::string homeFromUserDatabase() {
    const passwd* user = ::getpwuid(::geteuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

} // namespace quellomir
