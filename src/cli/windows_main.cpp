#include "cli/command_line.h"
#include "cli/command_line_run.h"
#include "cli/unanswered_drives.h"
#include "files/code_page.h"
#include "fs/watched_file_system.h"
#include "fs/windows_file_system.h"
#include "fs/windows_text.h"
#include "handler/stop_signals.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The arguments as UTF-8. Those main is given are in the ANSI code page, which may lack
// characters of a folder's name; the wide ones are what was typed.
std::vector<std::string> wideArguments() {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide && i < count; ++i)
        arguments.push_back(quellomir::fromWide(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

// The console shows the program's UTF-8 as it is while the program runs, and the code page
// it had before afterwards, for whatever runs in it next.
class Utf8Console {
  public:
    Utf8Console() : m_before(::GetConsoleOutputCP()) { ::SetConsoleOutputCP(CP_UTF8); }
    ~Utf8Console() {
        if (m_before != 0) ::SetConsoleOutputCP(m_before);
    }
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

  private:
    UINT m_before;
};

} // namespace

int main() {
    const Utf8Console console;
    // Into a file or a pipe the output goes byte for byte, as on Linux: a script reads "\n",
    // not the "\r\n" the C runtime's text mode would make of it.
    for (FILE* stream : {stdout, stderr})
        if (!::_isatty(::_fileno(stream))) ::_setmode(::_fileno(stream), _O_BINARY);
    const std::vector<std::string> arguments = wideArguments();
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    const quellomir::CommandLine line =
        quellomir::parseCommandLine(static_cast<int>(arguments.size()), argv.data());
    if (line.mode == quellomir::CommandLine::Mode::Window) {
        std::fputs(
            "quellomir: this build has no window yet; to compare or sync two folders, see quellomir --help\n",
            stderr);
        return quellomir::ExitUsage;
    }

    static std::atomic<bool> stopRequested{false};
    quellomir::stopGentlyOnSignals(stopRequested);
    quellomir::WindowsFileSystem windows;
    quellomir::WatchedFileSystem fs(windows);
    // Names cross to Windows as UTF-16, so every name is carried whole: the ANSI code page
    // would leave out of the plan each name outside it.
    const quellomir::CodePage codePage;
    quellomir::Terminal terminal;
    terminal.progress = ::_isatty(::_fileno(stderr)) != 0;
    terminal.interrupted = &stopRequested;
    return quellomir::runWatchingForUnansweredDrives(
        [&] { return quellomir::runCommandLine(line, fs, codePage, terminal); }, stopRequested);
}
