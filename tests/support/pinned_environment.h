#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace quellomir::testing {

// Sets an environment variable (TZ, LC_ALL) for one test and puts the old value back;
// the time zone is read again both times.
class PinnedEnvironment {
  public:
    PinnedEnvironment(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value, 1);
        ::tzset();
    }
    ~PinnedEnvironment() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
        ::tzset();
    }
    PinnedEnvironment(const PinnedEnvironment&) = delete;
    PinnedEnvironment& operator=(const PinnedEnvironment&) = delete;

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace quellomir::testing
