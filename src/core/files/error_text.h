#pragma once

#include <string>

namespace quellomir {

// What an errno value means, in the words a user reads after "Failed: ".
std::string errorText(int error);

} // namespace quellomir
