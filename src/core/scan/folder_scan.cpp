#include "scan/folder_scan.h"

#include "files/path_text.h"
#include "files/trash_can.h"
#include "handler/numbered_handler.h"
#include "scan/folder_attributes.h"
#include "scan/listing_prefetch.h"
#include "scan/unsafe_chars.h"

#include <climits>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#ifndef NAME_MAX
// Windows counts a name in UTF-16 units, 255 at most, and each takes up to three bytes of UTF-8.
#define NAME_MAX (3 * 255)
#endif

namespace quellomir {
namespace {

// The codes of the two failures that remove an entry instead of leaving it.
constexpr int PermissionDenied = 70;
constexpr int PathNotFound = 76;

int failureCode(const std::exception& failure) {
    auto* system = dynamic_cast<const std::system_error*>(&failure);
    if (!system) return -1;
    switch (system->code().value()) {
    case EACCES:
    case EPERM:
        return PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return PathNotFound;
    default:
        return system->code().value();
    }
}

struct FolderId {
    std::uint64_t device;
    std::uint64_t inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const {
        return std::hash<std::uint64_t>()(id.inode * 31 + id.device);
    }
};

// One level of the tree: the entries of one call of the scan in its recursive form.
struct Level {
    enum class Mark : std::uint8_t { Kept, Removed, AlreadyReached };
    // What the first pass found out for sure about an entry. The recursive form tests
    // every entry again before it joins the list, which gives the same answer unless
    // the first test failed: only then is the test made again.
    enum class Verdict : std::uint8_t { Unknown, NotFolder, Fails, Qualifies };
    std::vector<std::string> paths;
    std::vector<Mark> marks;
    std::vector<Verdict> verdicts;
    // What the listing that found an entry read of it: its facts, links followed, and
    // whether its own entry is a link; nothing for the seeds, or where that stat failed.
    struct Listed {
        FileFacts facts;
        bool link = false;
    };
    std::vector<std::optional<Listed>> listed;
    bool firstPassed = false;
    // Built at the first removal: where each text stands, for "the first equal entry".
    std::unordered_map<std::string_view, std::vector<std::size_t>> positions;

    void add(std::string path, std::optional<Listed> facts = {}) {
        paths.push_back(std::move(path));
        marks.push_back(Mark::Kept);
        verdicts.push_back(Verdict::Unknown);
        listed.push_back(facts);
    }
};

// The scan runs level by level, not by recursion: a deep tree cannot exhaust the
// stack. The order and the marks are those of the recursive form, in which each call
// first lists its level's children, then expands them, then appends those that
// qualify.
class FolderScan {
  public:
    FolderScan(FileSystem& fs, const CodePage& codePage, ErrorReport& report, Yielder& yielder,
               ListingMemo* memo, unsigned ioThreads, UnreadParts* unread, ListingPrefetch* listedAhead)
        : m_fs(fs), m_codePage(codePage), m_yielder(yielder), m_memo(memo), m_unread(unread),
          m_handler(report, FolderScanLocation), m_attributes(fs),
          m_ownListings(fs, statKindsOfScan(memo != nullptr), listedAhead ? 0 : ioThreads),
          m_listings(listedAhead ? *listedAhead : m_ownListings) {
        if (FileFacts trash; homeTrashFacts(fs, trash) == 0)
            m_homeTrash = FolderId{trash.device, trash.inode};
    }

    void run(FolderList& list, bool recurse);

  private:
    Level firstPass(Level& level);
    void workOn(Level& level, std::size_t index, Level& children);
    void listChildren(const std::string& path, bool driveTop, Level& children);
    bool programsOwn(std::string_view name, bool driveTop, const FolderEntry& entry) const;
    void removeFirstEqual(Level& level, std::size_t index);
    std::vector<bool> secondPass(const Level& level);

    bool isFolder(const std::string& path) {
        FileFacts facts;
        return m_fs.stat(path, Follow::Yes, facts) == 0 && facts.kind == EntryKind::Folder;
    }
    // isFolder, naming a folder whose facts could not be read.
    bool isFolderNamingFailure(const std::string& path) {
        FileFacts facts;
        const int error = m_fs.stat(path, Follow::Yes, facts);
        if (unreadError(error)) note(path, error);
        return error == 0 && facts.kind == EntryKind::Folder;
    }
    void note(const std::string& path, int error) {
        if (m_unread) m_unread->add(path, error);
    }
    FileFacts folderObject(const std::string& path) {
        FileFacts facts;
        if (int error = m_fs.stat(path, Follow::Yes, facts))
            throw std::system_error(error, std::generic_category(), path);
        return facts;
    }
    bool qualifies(const std::string& path, const FileFacts& folder, std::optional<bool> link = {}) {
        if (folder.mountRoot || path == "/") return true;
        std::uint32_t bits = m_attributes.read(path, folder, link);
        return bits != 22 && bits != 1046;
    }
    // A statement under the failure handling armed at the moment: reported and passed
    // over (general), or passed up to end the work on the entry (per folder).
    template <class Statement> void step(int line, Statement&& statement) {
        if (m_perFolder)
            statement();
        else
            m_handler.run(line, statement);
    }

    FileSystem& m_fs;
    const CodePage& m_codePage;
    Yielder& m_yielder;
    ListingMemo* m_memo;
    UnreadParts* m_unread;
    NumberedHandler m_handler;
    FolderAttributeReader m_attributes;
    std::unordered_set<FolderId, FolderIdHash> m_reached;
    std::optional<FolderId> m_homeTrash;
    bool m_perFolder = false;
    ListingPrefetch m_ownListings;
    ListingPrefetch& m_listings;
};

void FolderScan::run(FolderList& list, bool recurse) {
    // 100 to 104 create the scan's objects: nothing here that can fail but memory.
    std::vector<Level> levels(1);
    for (std::string& path : list)
        levels[0].add(std::move(path));
    for (std::size_t depth = 0;; ++depth) {
        Level children = firstPass(levels[depth]);
        levels[depth].firstPassed = true;
        // What was listed ahead for folders of this level that the scan passed over.
        for (const std::string& path : levels[depth].paths)
            m_listings.forget(path);
        bool descend = recurse && !children.paths.empty();
        levels.push_back(std::move(children));
        if (!descend) break;
    }
    // 150: back from the deepest level, case A armed again at every level.
    std::vector<std::vector<bool>> joins(levels.size());
    for (std::size_t depth = levels.size() - 1; depth >= 1; --depth)
        joins[depth] = secondPass(levels[depth]);

    list.clear();
    for (std::size_t i = 0; i < levels[0].paths.size(); ++i)
        if (levels[0].marks[i] != Level::Mark::Removed) list.push_back(std::move(levels[0].paths[i]));
    for (std::size_t depth = 1; depth < levels.size(); ++depth)
        for (std::size_t i = 0; i < levels[depth].paths.size(); ++i)
            if (joins[depth][i]) list.push_back(std::move(levels[depth].paths[i]));
}

Level FolderScan::firstPass(Level& level) {
    Level children;
    m_perFolder = false; // 106
    for (std::size_t i = 0; i < level.paths.size(); ++i)
        if (level.marks[i] == Level::Mark::Kept) workOn(level, i, children);
    return children;
}

void FolderScan::workOn(Level& level, std::size_t index, Level& children) {
    const std::string& path = level.paths[index];
    // A folder its parent's listing described is not looked at again.
    const std::optional<Level::Listed>& listed = level.listed[index];
    int code = 0;
    try {
        if (!listed && !isFolderNamingFailure(path)) { // 108
            level.verdicts[index] = Level::Verdict::NotFolder;
            return;
        }
        if (path.size() >= PATH_MAX) { // 110
            note(path, ENAMETOOLONG);
            return;
        }
        std::optional<FileFacts> folder;
        if (listed) folder = listed->facts;
        int folderError = 0;
        if (!listed)
            step(112, [&] {
                try {
                    folder = folderObject(path);
                } catch (const std::system_error& failure) {
                    folderError = failure.code().value();
                    throw;
                }
            });
        step(114, [&] { m_yielder.tick(); });
        // 116: a failing test does not skip the entry; the work goes on below it.
        bool decided = false;
        auto fails = [&] {
            if (!folder) throw std::system_error(folderError, std::generic_category(), path);
            bool result =
                !qualifies(path, *folder, listed ? std::optional<bool>(listed->link) : std::nullopt);
            decided = true;
            return result;
        };
        bool skip = m_perFolder ? fails() : m_handler.testLeave(116, fails);
        if (decided) level.verdicts[index] = skip ? Level::Verdict::Fails : Level::Verdict::Qualifies;
        if (skip) return;
        m_perFolder = true;
        if (folder && !m_reached.insert({folder->device, folder->inode}).second) {
            level.marks[index] = Level::Mark::AlreadyReached;
            return;
        }
        listChildren(path, folder && (folder->mountRoot || path == "/"), children); // 118 to 136
    } catch (const std::exception& failure) {
        if (!m_perFolder) {
            m_handler.fail(failure); // only memory can run out before the work is armed
            return;
        }
        code = failureCode(failure);
        if (code == PermissionDenied)
            note(path, dynamic_cast<const std::system_error&>(failure).code().value());
    }
    if (code == PermissionDenied || code == PathNotFound) removeFirstEqual(level, index); // 138 to 148
}

// The Trash folders of the desktop's Trash and the file system's lost+found take no part:
// their files are not the user's to sync, and planning them would copy trashed versions back
// or overwrite what "Restore" is to give back.
bool FolderScan::programsOwn(std::string_view name, bool driveTop, const FolderEntry& entry) const {
    if (driveTop && (name == ".Trash" || name.starts_with(".Trash-") || name == "lost+found")) return true;
    return m_homeTrash && entry.statted && entry.statError == 0 &&
           FolderId{entry.facts.device, entry.facts.inode} == *m_homeTrash;
}

void FolderScan::listChildren(const std::string& path, bool driveTop, Level& children) {
    ListedNames others; // what the file listing will want, with the facts read here
    int error = m_listings.list(
        path,
        [&](const FolderEntry& entry) {
            bool folder =
                entry.kind == EntryKind::Folder || (entry.kind == EntryKind::Link && entry.statError == 0 &&
                                                    entry.facts.kind == EntryKind::Folder);
            if (!folder) {
                if (m_memo && entry.kind != EntryKind::Other) others.add(entry);
                return;
            }
            m_yielder.tick(); // 120
            std::string_view name = entry.name;
            if (name.size() >= NAME_MAX + 1) return;
            if (HasUnsafeChars(name, m_codePage)) return;
            if (name.find('?') != std::string_view::npos) return;
            if (name == "." || name == "..") return;
            if (programsOwn(name, driveTop, entry)) return;
            std::string child = joinPath(path, name);
            child.push_back('/');
            std::optional<Level::Listed> facts;
            if (entry.statted && entry.statError == 0 && entry.facts.kind == EntryKind::Folder)
                facts = Level::Listed{entry.facts, entry.kind == EntryKind::Link};
            m_listings.ahead(child);
            children.add(std::move(child), facts);
        },
        m_yielder);
    if (error != 0) throw std::system_error(error, std::generic_category(), path);
    if (m_memo) m_memo->keep(path, others);
}

void FolderScan::removeFirstEqual(Level& level, std::size_t index) {
    if (level.positions.empty())
        for (std::size_t i = 0; i < level.paths.size(); ++i)
            level.positions[level.paths[i]].push_back(i);
    for (std::size_t i : level.positions[level.paths[index]])
        if (level.marks[i] != Level::Mark::Removed) {
            level.marks[i] = Level::Mark::Removed;
            return;
        }
}

std::vector<bool> FolderScan::secondPass(const Level& level) {
    std::vector<bool> joins(level.paths.size(), false);
    m_perFolder = false;
    for (std::size_t i = 0; i < level.paths.size(); ++i) {
        if (level.marks[i] != Level::Mark::Kept) continue;
        switch (level.verdicts[i]) {
        case Level::Verdict::NotFolder:
            continue;
        case Level::Verdict::Fails:
        case Level::Verdict::Qualifies:
            m_handler.run(156, [&] { m_yielder.tick(); });
            joins[i] = level.verdicts[i] == Level::Verdict::Qualifies;
            continue;
        case Level::Verdict::Unknown:
            break;
        }
        const std::string& path = level.paths[i];
        if (!isFolder(path)) continue; // 154
        m_handler.run(156, [&] { m_yielder.tick(); });
        std::optional<FileFacts> folder;
        // 158: a failing test lets the append below it run.
        if (!m_handler.test(158, [&] {
                folder = folderObject(path);
                return qualifies(path, *folder);
            }))
            continue;
        // An entry that was never listed (the last level without recursion) has not
        // been checked against the folders already reached.
        if (!level.firstPassed && folder && !m_reached.insert({folder->device, folder->inode}).second)
            continue;
        joins[i] = true; // 160
    }
    return joins;
}

} // namespace

void GetSubDirectories2016(FolderList& list, bool recurse, FileSystem& fs, const CodePage& codePage,
                           ErrorReport& report, Yielder& yielder, ListingMemo* memo, unsigned ioThreads,
                           UnreadParts* unread, ListingPrefetch* listedAhead) {
    FolderScan(fs, codePage, report, yielder, memo, ioThreads, unread, listedAhead).run(list, recurse);
}

// Folders are stat'ed in the listing as well: what the scan needs of a child (kind, device and
// inode, mount root) is then known without a look by its path. With a file listing to follow,
// the files are stat'ed there too, through the descriptor the folder is listed through, while
// a network drive's facts of them are still fresh.
unsigned statKindsOfScan(bool withMemo) {
    return stat_kinds::Link | stat_kinds::Folder | (withMemo ? stat_kinds::Regular : stat_kinds::None);
}

} // namespace quellomir
