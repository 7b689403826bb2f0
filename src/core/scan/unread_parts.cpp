#include "scan/unread_parts.h"

#include "files/error_text.h"

#include <cerrno>
#include <system_error>

namespace quellomir {

void UnreadParts::add(std::string path, int error) {
    const std::lock_guard lock(m_adding);
    m_parts.push_back({std::move(path), errorText(error)});
}

bool unreadError(int error) {
    return error != 0 && error != ENOENT && error != ENOTDIR && error != ELOOP;
}

std::string unreadMessage(const UnreadParts& unread) {
    constexpr std::size_t Shown = 10;
    const auto& parts = unread.parts();
    std::string message = "These could not be read and are not in the plan:";
    for (std::size_t i = 0; i < parts.size() && i < Shown; ++i)
        message += "\r" + parts[i].path + " \u2014 " + parts[i].reason;
    if (parts.size() > Shown) message += "\r\u2026 and " + std::to_string(parts.size() - Shown) + " more";
    return message;
}

} // namespace quellomir
