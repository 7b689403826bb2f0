#pragma once

#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/file_system.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quellomir {

// What runs stopped earlier left in the folders a run writes into, found before any row
// works from it: "~" files of this program's (copies in the making, time notes), and second
// links in the Trash of files that are still in place. A file counts as such only on proof:
// it has the exact name this program makes, belongs to the running user, no running program
// holds a lock on it, and for a note, the file it names is still the copy it was written for.
class EarlierRuns {
  public:
    // The Trash of a folder's drive, or nullptr where it has none to use.
    using TrashFinder = std::function<TrashCan*(WriteFolder&)>;

    EarlierRuns(FileSystem& fs, TrashFinder trashFor) : m_fs(fs), m_trashFor(std::move(trashFor)) {}

    // Once per folder, however often it is asked: sets the provisional time back on a copy
    // whose note says a drive stamped it, then removes the leftovers.
    void finishIn(WriteFolder& folder);

    // What could not be done, and files named like this program's own that are not the
    // running user's, one line each, for the end message.
    const std::vector<std::string>& notes() const { return m_notes; }

  private:
    struct Leftover {
        std::string name;
        FileFacts facts;
        std::string start; // its first bytes: a note's text
    };
    // Whether the "~" file `name` is a leftover of this user's runs, and what it is.
    bool isLeftover(WriteFolder& folder, const std::string& name, Leftover& leftover);
    void applyTimeNote(WriteFolder& folder, const Leftover& note);
    void removeLiveTrashLinks(WriteFolder& folder);
    bool keepsPermissionBits(WriteFolder& folder);

    FileSystem& m_fs;
    TrashFinder m_trashFor;
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_finished; // folders, by identity
    std::vector<std::string> m_notes;
    bool m_toldOfForeignFiles = false;
};

} // namespace quellomir
