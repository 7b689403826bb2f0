#include "files/temporary_names.h"

#include <gtest/gtest.h>

namespace quellomir {
namespace {

// The Windows build's own facts of the process (boot, process id and start) make a name
// that the program takes back for one of its own.
TEST(WindowsSmoke, TemporaryNameIsOneOfOurs) {
    const std::string name = temporaryName(0);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(isTemporaryName(name)) << name;
}

} // namespace
} // namespace quellomir
