#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace quellomir::testing {
namespace {

// The files that syncs replace go to the Trash of the user running the tests: give these
// tests a home Trash of their own, on the drive of the temporary folders, and remove it at
// the end.
class OwnTrash final : public ::testing::Environment {
  public:
    void SetUp() override {
        m_dataHome.emplace();
        ::setenv("XDG_DATA_HOME", m_dataHome->path().c_str(), 1);
    }
    void TearDown() override { m_dataHome.reset(); }

  private:
    std::optional<TempFolder> m_dataHome;
};

[[maybe_unused]] ::testing::Environment* const ownTrash = ::testing::AddGlobalTestEnvironment(new OwnTrash);

} // namespace
} // namespace quellomir::testing
