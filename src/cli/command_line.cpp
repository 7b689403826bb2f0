#include "cli/command_line.h"

#include "files/path_form.h"

#include <filesystem>
#include <vector>

namespace quellomir {
namespace {

// A folder as the window would hold it: a full path with its trailing separator. A ".."
// is taken as the kernel takes it: after a link it leads to the parent of the link's
// target, not back to the folder holding the link. So the path up to its last ".." is
// resolved on the disk, and only what follows is tidied by its text. A path that cannot be
// resolved is kept as given, for the check of the folders to name.
std::string asFolder(const std::string& argument) {
    namespace stdfs = std::filesystem;
    const stdfs::path given = stdfs::absolute(argument);
    stdfs::path head;
    stdfs::path tail;
    for (const stdfs::path& part : given) {
        tail /= part;
        if (part == "..") {
            head /= tail;
            tail.clear();
        }
    }
    std::string folder = given.lexically_normal().string();
    if (!head.empty()) {
        std::error_code error;
        const stdfs::path resolved = stdfs::canonical(head, error);
        folder = error ? given.string() : (resolved / tail).lexically_normal().string();
    }
    folder = fromUserPath(std::move(folder));
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

CommandLine wrong(std::string why) {
    CommandLine line;
    line.mode = CommandLine::Mode::Wrong;
    line.wrong = std::move(why);
    return line;
}

} // namespace

std::string_view usageText() {
    return "Usage: quellomir                    open the window\n"
           "       quellomir compare DIR1 DIR2  print the plan for the two folders\n"
           "       quellomir sync DIR1 DIR2     carry out every row of that plan\n"
           "\n"
           "Options:\n"
           "  -n, --dry-run  with sync: print the plan only, as compare does\n"
           "      --pair-by=name  pair files by name alone, wherever they lie, and copy into the\n"
           "                 other folder's top (the default for compare; sync asks for it\n"
           "                 before it replaces a file of another subfolder)\n"
           "      --pair-by=path  pair files by their path below the two folders, and copy into\n"
           "                 the same subfolder on the other side\n"
           "      --exclude=PATTERN  leave out of both folders the files and folders whose\n"
           "                 name matches PATTERN (* ? [...]), or whose path below the folder\n"
           "                 does where PATTERN holds a \"/\"; a trailing \"/\" matches folders\n"
           "                 only. May be given again.\n"
           "  -q, --quiet    print only failures\n"
           "  -0, --null     end each column with a NUL instead of a tab or newline, and print\n"
           "                 paths as they are\n"
           "  -h, --help     print this text\n"
           "      --version  print the version\n"
           "\n"
           "Each row of the plan is a line of three columns separated by tabs: source, action,\n"
           "destination. In them a backslash is printed as \\\\, a tab, newline and carriage\n"
           "return as \\t, \\n and \\r, and any other control character or byte that is not\n"
           "UTF-8 as \\xHH. The summary of compare goes to standard error. The settings file\n"
           "is neither read nor written.\n"
           "\n"
           "Exit status: 0 when there is nothing to do, or every row was done; 1 when there are\n"
           "rows to do, or a row failed; 2 on a usage error, a folder that cannot be read or an\n"
           "output that could not be written; 3 when sync without --pair-by would replace\n"
           "files of other subfolders, and wrote nothing; 130 when interrupted (Ctrl+C,\n"
           "SIGTERM, SIGHUP), which first finishes the copies made.\n";
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    CommandLine line;
    if (!words.empty() && (words[0] == "--help" || words[0] == "-h")) {
        line.mode = CommandLine::Mode::Help;
        return line;
    }
    // Qt's own options (-platform, -style) open the window too.
    if (words.empty() || (words[0].size() > 1 && words[0][0] == '-' && words[0][1] != '-')) return line;
    if (words[0] == "--version") {
        line.mode = CommandLine::Mode::Version;
        return line;
    }
    if (words[0] != "compare" && words[0] != "sync") return wrong("unknown command \"" + words[0] + "\"");
    line.mode = words[0] == "compare" ? CommandLine::Mode::Compare : CommandLine::Mode::Sync;
    std::vector<std::string> folders;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
            folders.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--quiet" || word == "-q") {
            line.quiet = true;
        } else if (word == "--null" || word == "-0") {
            line.null = true;
        } else if (word == "--dry-run" || word == "-n") {
            line.mode = CommandLine::Mode::Compare;
        } else if (word.starts_with("--exclude=")) {
            line.exclude.push_back(word.substr(10));
        } else if (word == "--pair-by=path" || word == "--pair-by=name") {
            line.pairByPlace = word == "--pair-by=path";
            line.pairingChosen = true;
        } else {
            return wrong("unknown option \"" + word + "\"");
        }
    }
    if (folders.size() != 2) return wrong(words[0] + " takes two folders");
    for (const std::string& folder : folders)
        if (folder.empty()) return wrong("a folder's path is empty");
    line.folder1 = asFolder(folders[0]);
    line.folder2 = asFolder(folders[1]);
    return line;
}

} // namespace quellomir
