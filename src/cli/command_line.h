#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellomir {

// What the program was asked to do by its arguments: open the window (no arguments, or
// only Qt's own single-dash options), or compare or sync two folders from a script.
struct CommandLine {
    enum class Mode : std::uint8_t { Window, Compare, Sync, Help, Version, Wrong };
    Mode mode = Mode::Window;
    std::string folder1; // absolute, ending with '/', ".." resolved as the kernel does
    std::string folder2;
    bool quiet = false;
    bool null = false;                // fields ended by NUL and printed as they are, for scripts
    bool pairByPlace = false;         // --pair-by=path
    bool pairingChosen = false;       // either --pair-by was given
    std::vector<std::string> exclude; // --exclude=PATTERN, each
    std::string wrong;                // why the arguments make no sense, for Mode::Wrong
};

CommandLine parseCommandLine(int argc, const char* const* argv);

// The text of --help.
std::string_view usageText();

} // namespace quellomir
