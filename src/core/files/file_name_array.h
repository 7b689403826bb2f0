#pragma once

#include <string>
#include <vector>

namespace quellomir {

// The names a folder listing found, numbered from 1 to n. With no names it holds the
// single index 0 with an empty name, so that a loop from 1 to last() runs zero times.
class FileNameArray {
  public:
    FileNameArray() = default;
    explicit FileNameArray(std::vector<std::string> names) : m_names(std::move(names)) {}

    int first() const { return m_names.empty() ? 0 : 1; }
    int last() const { return static_cast<int>(m_names.size()); }
    bool empty() const { return m_names.empty(); }

    // Index first() to last(); anything else throws std::out_of_range.
    const std::string& operator[](int index) const;

    const std::vector<std::string>& names() const { return m_names; }

  private:
    std::vector<std::string> m_names;
};

} // namespace quellomir
