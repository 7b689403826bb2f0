#include "files/file_name_array.h"

#include <stdexcept>

namespace quellomir {

const std::string& FileNameArray::operator[](int index) const {
    static const std::string empty;
    if (m_names.empty() && index == 0) return empty;
    if (index < 1 || index > last()) throw std::out_of_range("file name index " + std::to_string(index));
    return m_names[static_cast<std::size_t>(index - 1)];
}

} // namespace quellomir
