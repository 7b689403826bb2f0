#pragma once

#include <unistd.h>

#include <utility>

namespace quellomir {

// An open file descriptor that is closed when it goes out of scope, so an exception
// from a visitor or an early return leaves nothing open.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }

    // Hands the descriptor over to whoever closes it from now on.
    int release() { return std::exchange(m_fd, -1); }

    // Closes now and tells whether the close reported a failure (0 or errno).
    int close() {
        if (m_fd < 0) return 0;
        int result = ::close(std::exchange(m_fd, -1));
        return result == 0 ? 0 : errno;
    }

  private:
    int m_fd = -1;
};

} // namespace quellomir
