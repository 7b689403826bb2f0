#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quellomir {

// Files and folders a comparison leaves out, by patterns with the shell's wildcards (* ? and
// [...]): a pattern without "/" is matched against a name, of a file or a folder, wherever it
// lies; one with "/" against the path below the chosen folder ("2021/Trash/*.JPG"); one that
// ends with "/" only against folders ("Backup/", "cache/"). Patterns without wildcards and
// those of the form "*.ext" are looked up rather than matched, so that ten patterns cost a
// million files little.
class Exclusions {
  public:
    Exclusions() = default;
    explicit Exclusions(const std::vector<std::string>& patterns);
    // The setting's text: patterns separated by ";", blanks around each ignored.
    static Exclusions fromSetting(std::string_view text);

    bool empty() const { return m_patterns.empty(); }
    const std::vector<std::string>& patterns() const { return m_patterns; }

    // `below` is the path below the chosen folder of the folder the entry lies in: empty, or
    // ending with "/".
    bool leavesOutFile(std::string_view below, std::string_view name) const;
    bool leavesOutFolder(std::string_view below, std::string_view name) const;

  private:
    bool matches(std::string_view below, std::string_view name, bool folder) const;

    struct Pattern {
        std::string text;
        bool path = false;        // holds a "/": matched against the path below the chosen folder
        bool foldersOnly = false; // ended with "/"
    };
    // Looked up by a name's view, with no string made for it.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    using NameSet = std::unordered_set<std::string, NameHash, std::equal_to<>>;

    std::vector<std::string> m_patterns;
    NameSet m_names;                       // without wildcards, files and folders alike
    NameSet m_folderNames;                 // the same, for folders only
    std::vector<std::string> m_extensions; // "*.ext" as ".ext"
    std::vector<Pattern> m_matched;        // the rest, through fnmatch
};

} // namespace quellomir
