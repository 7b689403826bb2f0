#include "options.h"

#include <algorithm>
#include <stdexcept>

namespace quellomir::bench {

Options::Options(std::span<char* const> arguments, std::vector<std::string> known) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            m_plain.push_back(argument);
            continue;
        }
        std::string name = argument.substr(2);
        if (std::find(known.begin(), known.end(), name) == known.end() || i + 1 == arguments.size())
            throw std::invalid_argument("unknown option or missing value: " + argument);
        m_values[name] = arguments[++i];
    }
}

std::uint64_t Options::number(const std::string& name, std::uint64_t otherwise) const {
    auto found = m_values.find(name);
    if (found == m_values.end()) return otherwise;
    std::size_t used = 0;
    std::uint64_t value = std::stoull(found->second, &used);
    if (used != found->second.size()) throw std::invalid_argument("--" + name + " wants a whole number");
    return value;
}

double Options::decimal(const std::string& name, double otherwise) const {
    auto found = m_values.find(name);
    return found == m_values.end() ? otherwise : std::stod(found->second);
}

std::string Options::text(const std::string& name, const std::string& otherwise) const {
    auto found = m_values.find(name);
    return found == m_values.end() ? otherwise : found->second;
}

double Options::share(const std::string& name, double otherwise) const {
    auto found = m_values.find(name);
    if (found == m_values.end()) return otherwise;
    double value = std::stod(found->second);
    if (value < 0 || value > 1) throw std::invalid_argument("--" + name + " wants a share from 0 to 1");
    return value;
}

} // namespace quellomir::bench
