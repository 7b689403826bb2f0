#pragma once

#include "fs/forwarding_file_system.h"

namespace quellomir::testing {
using quellomir::ForwardingFileSystem;
} // namespace quellomir::testing
