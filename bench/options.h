#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace quellomir::bench {

// "--name value" pairs and the plain arguments around them. An unknown option name or
// a value that does not parse throws std::invalid_argument naming it.
class Options {
  public:
    Options(std::span<char* const> arguments, std::vector<std::string> known);

    const std::vector<std::string>& plain() const { return m_plain; }
    std::uint64_t number(const std::string& name, std::uint64_t otherwise) const;
    double share(const std::string& name, double otherwise) const; // 0 to 1
    double decimal(const std::string& name, double otherwise) const;
    std::string text(const std::string& name, const std::string& otherwise) const;
    bool has(const std::string& name) const { return m_values.contains(name); }

  private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_plain;
};

} // namespace quellomir::bench
