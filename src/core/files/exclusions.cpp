#include "files/exclusions.h"

#include "files/name_match.h"

#include <algorithm>

namespace quellomir {
namespace {

bool hasWildcard(std::string_view text) {
    return text.find_first_of("*?[") != std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

Exclusions::Exclusions(const std::vector<std::string>& patterns) {
    for (const std::string& given : patterns) {
        std::string_view text = trimmed(given);
        if (text.empty()) continue;
        m_patterns.emplace_back(text);
        const bool foldersOnly = text.ends_with('/');
        if (foldersOnly) text.remove_suffix(1);
        while (text.starts_with('/'))
            text.remove_prefix(1); // rooted at the chosen folder anyway
        if (text.empty()) continue;
        const bool path = text.find('/') != std::string_view::npos;
        if (!path && !hasWildcard(text)) {
            (foldersOnly ? m_folderNames : m_names).emplace(text);
        } else if (!path && !foldersOnly && text.starts_with("*.") && !hasWildcard(text.substr(1))) {
            m_extensions.emplace_back(text.substr(1));
        } else {
            m_matched.push_back({std::string(text), path || given.starts_with('/'), foldersOnly});
        }
    }
}

Exclusions Exclusions::fromSetting(std::string_view text) {
    std::vector<std::string> patterns;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        patterns.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return Exclusions(patterns);
}

bool Exclusions::leavesOutFile(std::string_view below, std::string_view name) const {
    return !empty() && matches(below, name, false);
}

bool Exclusions::leavesOutFolder(std::string_view below, std::string_view name) const {
    return !empty() && matches(below, name, true);
}

bool Exclusions::matches(std::string_view below, std::string_view name, bool folder) const {
    if (!m_names.empty() && m_names.contains(name)) return true;
    if (folder && !m_folderNames.empty() && m_folderNames.contains(name)) return true;
    for (const std::string& extension : m_extensions)
        if (!folder && name.size() > extension.size() && name.ends_with(extension)) return true;
    if (m_matched.empty()) return false;
    const std::string nameText(name);
    const std::string pathText = std::string(below) + nameText;
    for (const Pattern& pattern : m_matched) {
        if (pattern.foldersOnly && !folder) continue;
        const std::string& subject = pattern.path ? pathText : nameText;
        if (wildcardMatches(pattern.text, subject, pattern.path)) return true;
    }
    return false;
}

} // namespace quellomir
