#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace quellomir {

// The folders and files of a side that a comparison could not read (a failing drive, a
// folder the user may not enter, a path too long to reach), each with the system's words
// for why. They are not in the plan; saying so keeps a plan with holes from passing for a
// whole one. Left out on purpose (hidden system folders, names the program cannot carry,
// "~" files, the Trash) are not among them.
class UnreadParts {
  public:
    struct Part {
        std::string path;
        std::string reason;
    };

    // Takes `path` as not read because of `error` (an errno). Safe from any thread.
    void add(std::string path, int error);
    bool empty() const { return m_parts.empty(); }
    const std::vector<Part>& parts() const { return m_parts; }

  private:
    std::mutex m_adding;
    std::vector<Part> m_parts;
};

// Whether a failure with `error` of a folder or file that was listed means that it could
// not be read, and not that it went away (or was a dangling link) since the listing.
bool unreadError(int error);

// The window's one message: a heading, then "path — reason" for each of the first ten,
// then "… and N more" when there are more; lines separated by carriage returns.
std::string unreadMessage(const UnreadParts& unread);

} // namespace quellomir
