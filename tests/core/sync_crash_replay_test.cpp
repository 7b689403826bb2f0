// Crash replay: a real sync is recorded change by change, each state a drive could hold after a
// power cut at some point of it is rebuilt in a fresh folder, the next sync recovers it, and one
// checker says whether anything was lost.
//
// The record is taken at the file-system seam: every write of the program passes through it,
// and what a call changed is read from the disk after the call, so the recorder needs no model
// of the calls. In front of the disk, a fake drive answers as a USB stick through FUSE does (a
// flush of the whole file system reaches nothing) or as a local journaled disk.
//
// CI runs seeds 1 to 24, about a minute (QUELLOMIR_CRASH_SEEDS=<n> ends at another). For
// longer runs:
//   QUELLOMIR_CRASH_SECONDS=1800 build/tests/quellomir_core_tests --gtest_filter='CrashReplay.*'
// and a failing seed replays with QUELLOMIR_CRASH_SEED=<seed>.
#include "compare/row_details.h"
#include "files/new_file.h"
#include "files/trash_can.h"
#include "fs/posix_file_system.h"
#include "handler/yielder.h"
#include "support/fake_drive.h"
#include "support/pinned_environment.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"
#include "sync/sync_plan.h"
#include "sync/sync_session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace quellomir {
namespace {

namespace stdfs = std::filesystem;
using testing::FakeDrive;

constexpr std::uint64_t FolderEntry = 0; // the inode id of every folder; files count from 1

struct Inode {
    std::string data;
    FileTime time;
    std::uint32_t mode = 0644;
};

// A drive as the crash leaves it: its paths (relative to its top) and what they lead to.
struct DriveState {
    std::map<std::string, std::uint64_t> names;
    std::map<std::uint64_t, Inode> inodes;
};

// One change the drive may or may not hold after a crash. The names one call changed count as
// one change, as a rename does; each carries what its entry holds besides the name (on FAT the
// time and size live in the entry).
struct Change {
    enum Kind { Names, Data, Attributes } kind;
    std::vector<std::pair<std::string, std::optional<std::uint64_t>>> names;
    std::uint64_t inode = 0;
    Inode after;
    std::map<std::uint64_t, Inode> entries; // Names: the files' attributes and sizes then
};

// A flush that reached the drive after the first `after` changes.
struct Flush {
    std::size_t after = 0;
    enum Kind { File, Folder, Everything } kind;
    std::uint64_t inode = 0;
    std::string folder;
    std::set<std::uint64_t> named; // Folder: the files with a name in it then
};

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

// Records what each call of the program changed on the drive under `top`.
class CrashRecorder final : public ForwardingFileSystem {
  public:
    CrashRecorder(FileSystem& inner, std::string top, bool wholeFlushReaches)
        : ForwardingFileSystem(inner), m_top(std::move(top)), m_wholeFlushReaches(wholeFlushReaches) {
        m_state = look();
        before = m_state;
    }

    DriveState before;
    std::vector<Change> changes;
    std::vector<Flush> flushes;

    int createFile(Handle& folder, const std::string& name, std::uint32_t mode, Handle& file) override {
        return changing([&] { return m_inner.createFile(folder, name, mode, file); });
    }
    int write(Handle& file, std::string_view bytes) override {
        return changing([&] { return m_inner.write(file, bytes); });
    }
    int copyContents(Handle& from, Handle& to, const CopyProgress& progress,
                     bool& permissionsChanged) override {
        return changing([&] { return m_inner.copyContents(from, to, progress, permissionsChanged); });
    }
    int link(Handle& from, const std::string& fromName, Handle& toFolder,
             const std::string& toName) override {
        return changing([&] { return m_inner.link(from, fromName, toFolder, toName); });
    }
    int rename(Handle& fromFolder, const std::string& fromName, Handle& toFolder, const std::string& toName,
               Replace replace) override {
        return changing([&] { return m_inner.rename(fromFolder, fromName, toFolder, toName, replace); });
    }
    int unlinkAt(Handle& folder, const std::string& name) override {
        return changing([&] { return m_inner.unlinkAt(folder, name); });
    }
    int makeFolder(Handle& folder, const std::string& name, std::uint32_t mode) override {
        return changing([&] { return m_inner.makeFolder(folder, name, mode); });
    }
    int setModified(Handle& at, const std::string& name, FileTime time) override {
        return changing([&] { return m_inner.setModified(at, name, time); });
    }
    int setMode(Handle& file, std::uint32_t mode) override {
        return changing([&] { return m_inner.setMode(file, mode); });
    }
    int flush(Handle& at) override {
        return changing([&] { return m_inner.flush(at); },
                        [&] {
                            struct stat facts;
                            if (::fstat(at.fd, &facts) == 0 && S_ISDIR(facts.st_mode))
                                flushedFolder(at.path);
                            else
                                flushedFile(at.fd);
                        });
    }
    int flushDrive(Handle& at) override {
        return changing([&] { return m_inner.flushDrive(at); },
                        [&] {
                            // The kernel never passes a flush of a whole file system on to a FUSE driver.
                            if (m_wholeFlushReaches)
                                flushes.push_back({changes.size(), Flush::Everything, 0, {}, {}});
                        });
    }

  private:
    template <class Call, class Then = void (*)()>
    int changing(
        Call call, Then then = [] {}) {
        std::lock_guard lock(m_mutex);
        const int error = call();
        DriveState now = look();
        recordChanges(m_state, now);
        m_state = std::move(now);
        if (error == 0) then();
        return error;
    }

    void flushedFile(int fd) {
        struct stat facts;
        if (::fstat(fd, &facts) == 0 && m_ids.contains(facts.st_ino))
            flushes.push_back({changes.size(), Flush::File, m_ids[facts.st_ino], {}, {}});
    }
    void flushedFolder(const std::string& path) {
        if (!path.starts_with(m_top)) return;
        std::string folder = path.substr(m_top.size());
        if (folder.ends_with('/')) folder.pop_back();
        std::set<std::uint64_t> named;
        for (const auto& [name, id] : m_state.names)
            if (id != FolderEntry && parentOf(name) == folder) named.insert(id);
        flushes.push_back({changes.size(), Flush::Folder, 0, folder, std::move(named)});
    }

    DriveState look() {
        DriveState state;
        std::set<ino_t> seen;
        for (const auto& entry : stdfs::recursive_directory_iterator(m_top)) {
            const std::string path = entry.path();
            struct stat facts;
            if (::lstat(path.c_str(), &facts) != 0) continue;
            const std::string relative = path.substr(m_top.size());
            if (S_ISDIR(facts.st_mode)) {
                state.names[relative] = FolderEntry;
                continue;
            }
            seen.insert(facts.st_ino);
            auto [id, isNew] = m_ids.try_emplace(facts.st_ino, m_ids.size() + 1 + m_retired);
            state.names[relative] = id->second;
            Inode& inode = state.inodes[id->second];
            inode.time = {facts.st_mtim.tv_sec, std::int32_t(facts.st_mtim.tv_nsec)};
            inode.mode = facts.st_mode & 07777;
            // Read again only once it changed.
            auto& [stamp, data] = m_read[id->second];
            const std::pair<std::int64_t, std::int64_t> now{
                facts.st_ctim.tv_sec * 1'000'000'000 + facts.st_ctim.tv_nsec, facts.st_size};
            if (isNew || stamp != now) data = testing::contentsOf(path), stamp = now;
            inode.data = data;
        }
        // A number the drive gives again later is another file.
        for (auto it = m_ids.begin(); it != m_ids.end();)
            if (!seen.contains(it->first)) {
                it = m_ids.erase(it);
                ++m_retired;
            } else {
                ++it;
            }
        return state;
    }

    void recordChanges(const DriveState& was, const DriveState& now) {
        Change names{Change::Names, {}, 0, {}, {}};
        std::set<std::string> paths;
        for (const auto& [path, id] : was.names)
            paths.insert(path);
        for (const auto& [path, id] : now.names)
            paths.insert(path);
        for (const std::string& path : paths) {
            const auto then = was.names.find(path);
            const auto after = now.names.find(path);
            if (after == now.names.end()) {
                names.names.emplace_back(path, std::nullopt);
            } else if (then == was.names.end() || then->second != after->second) {
                names.names.emplace_back(path, after->second);
                if (after->second != FolderEntry) names.entries[after->second] = now.inodes.at(after->second);
            }
        }
        if (!names.names.empty()) changes.push_back(std::move(names));
        for (const auto& [id, inode] : now.inodes) {
            const auto then = was.inodes.find(id);
            if (then == was.inodes.end() || then->second.data != inode.data)
                changes.push_back({Change::Data, {}, id, inode, {}});
            if (then == was.inodes.end() || then->second.time != inode.time ||
                then->second.mode != inode.mode)
                changes.push_back({Change::Attributes, {}, id, inode, {}});
        }
    }

    std::string m_top;
    bool m_wholeFlushReaches;
    std::mutex m_mutex;
    DriveState m_state;
    std::map<ino_t, std::uint64_t> m_ids;
    std::uint64_t m_retired = 0;
    std::map<std::uint64_t, std::pair<std::pair<std::int64_t, std::int64_t>, std::string>> m_read;
};

// The two kinds of drive a power cut meets.
enum class Model {
    // A journaling drive (ext4 with data=ordered, XFS): names, sizes and times land in the order
    // they were made; data not flushed may be missing, zeros, or cut at a block.
    Ordered,
    // A stick (FAT, exFAT): of what was not flushed, any part lands, each change whole or not at
    // all, and data may be torn at a sector.
    Stick,
};

class CrashStates {
  public:
    CrashStates(const CrashRecorder& record, Model model) : m_record(record), m_model(model) {}

    // One state the drive may hold after a crash once the first `point` changes and the first
    // `flushed` flushes were made.
    DriveState at(std::size_t point, std::size_t flushed, std::mt19937_64& random) const {
        const std::vector<Change>& changes = m_record.changes;
        std::size_t metadataEnd = 0; // Ordered: the names and times that landed end here
        if (m_model == Model::Ordered) {
            for (std::size_t c = 0; c < point; ++c)
                if (changes[c].kind != Change::Data && covered(c, point, flushed)) metadataEnd = c + 1;
            metadataEnd += random() % (point - metadataEnd + 1);
        }
        DriveState state = m_record.before;
        for (std::size_t c = 0; c < point; ++c) {
            const Change& change = changes[c];
            const bool sure = covered(c, point, flushed);
            if (m_model == Model::Ordered && change.kind != Change::Data && c >= metadataEnd) continue;
            if (m_model == Model::Stick && !sure && random() % 2) continue;
            switch (change.kind) {
            case Change::Names:
                for (const auto& [path, id] : change.names)
                    if (id)
                        state.names[path] = *id;
                    else
                        state.names.erase(path);
                // A new file's entry comes with its time and size; on a stick, where these
                // live in the entry, every renamed one's does.
                for (const auto& [id, entry] : change.entries)
                    if (m_model == Model::Stick || !state.inodes.contains(id)) {
                        Inode& file = state.inodes[id];
                        file.time = entry.time;
                        file.mode = entry.mode;
                        file.data.resize(entry.data.size());
                    }
                break;
            case Change::Data: {
                Inode& inode = state.inodes[change.inode];
                inode.data = sure ? change.after.data : landed(inode.data, change.after.data, random);
                break;
            }
            case Change::Attributes:
                state.inodes[change.inode].time = change.after.time;
                state.inodes[change.inode].mode = change.after.mode;
                break;
            }
        }
        return state;
    }

  private:
    // Whether a flush made before the crash covers change `c`. A journal writes out all the
    // names and times made before any flush; a stick keeps a file's time in its folder's entry.
    bool covered(std::size_t c, std::size_t point, std::size_t flushed) const {
        const Change& change = m_record.changes[c];
        std::set<std::string> folders;
        for (const auto& [path, id] : change.names)
            folders.insert(parentOf(path));
        for (std::size_t f = 0; f < flushed; ++f) {
            const Flush& flush = m_record.flushes[f];
            if (flush.after <= c || flush.after > point) continue;
            if (flush.kind == Flush::Everything) return true;
            if (m_model == Model::Ordered && change.kind != Change::Data) return true;
            if (flush.kind == Flush::File && change.kind != Change::Names && flush.inode == change.inode)
                return true;
            if (flush.kind == Flush::Folder && change.kind == Change::Attributes &&
                flush.named.contains(change.inode))
                return true;
            if (flush.kind == Flush::Folder) folders.erase(flush.folder);
        }
        return change.kind == Change::Names && folders.empty();
    }

    // Data written but not flushed, as it may be found.
    std::string landed(const std::string& was, const std::string& written, std::mt19937_64& random) const {
        const std::size_t unit = m_model == Model::Stick ? 512 : 4096;
        const std::size_t units = (written.size() + unit - 1) / unit;
        switch (random() % 4) {
        case 0:
            return written;
        case 1:
            return was;
        case 2:
            return std::string(written.size(), '\0');
        default: {
            const std::size_t kept = std::min(written.size(), unit * (random() % (units + 1)));
            std::string torn = written.substr(0, kept);
            // A stick keeps the size its entry says, with what the sectors held before.
            if (m_model == Model::Stick) torn.resize(written.size(), '\0');
            return torn;
        }
        }
    }

    const CrashRecorder& m_record;
    Model m_model;
};

// Writes `state` into the empty folder `top`.
void materialize(const DriveState& state, const std::string& top) {
    std::map<std::uint64_t, std::string> made;
    for (const auto& [path, id] : state.names) { // a folder comes before what it holds
        const std::string parent = parentOf(path);
        if (!parent.empty() && !stdfs::is_directory(top + parent)) continue; // lost with its folder
        if (id == FolderEntry) {
            stdfs::create_directory(top + path);
            continue;
        }
        if (const auto first = made.find(id); first != made.end()) {
            ::link((top + first->second).c_str(), (top + path).c_str());
            continue;
        }
        const Inode& inode = state.inodes.at(id);
        const int fd = ::open((top + path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, inode.mode);
        (void)!::write(fd, inode.data.data(), inode.data.size());
        ::fchmod(fd, inode.mode);
        ::close(fd);
        testing::setTime(top + path, inode.time);
        made.emplace(id, path);
    }
}

std::uint64_t hashOf(const std::string& bytes) {
    return std::hash<std::string>{}(bytes);
}

struct Kind {
    Model model;
    std::uint64_t type;
    std::string mountType;
    bool stampsRenames = false;
};

// A new file has a "~" name until it is named where the drive cannot make one without a name,
// as no FUSE drive can.
PosixFileSystem::NewFiles newFiles(const Kind& kind) {
    return kind.model == Model::Stick ? PosixFileSystem::NewFiles::AlwaysNamed
                                      : PosixFileSystem::NewFiles::UnnamedWherePossible;
}

FakeDrive::Options driveAt(const std::string& top, const Kind& kind) {
    return {.root = top, .type = kind.type, .mountType = kind.mountType, .stampsRenames = kind.stampsRenames};
}

// The user's home, and with it the home Trash, on the drive `top`: what the Trash keeps is
// recorded and checked with the rest.
struct HomeOn {
    explicit HomeOn(const std::string& top)
        : home("HOME", (top + "home").c_str()),
          dataHome("XDG_DATA_HOME", (top + "home/.local/share").c_str()) {
        stdfs::create_directories(top + "home/.local/share");
    }
    testing::PinnedEnvironment home;
    testing::PinnedEnvironment dataHome;
};

// Syncs until the comparison plans nothing (namesakes in several folders take more than one
// run), then gives each file of the two folders by its path, "~" files among them.
std::map<std::string, std::uint64_t> syncedFolders(const std::string& top, const Kind& kind,
                                                   Pairing pairing) {
    const HomeOn homeOnTheDrive(top);
    PosixFileSystem posix(newFiles(kind));
    FakeDrive drive(posix, driveAt(top, kind));
    NoYield noYield;
    // A sync of nothing still finishes what an earlier run left.
    for (int run = 0; run < 4; ++run) {
        Plan plan = testing::comparePlan(drive, top + "one/", top + "two/", nullptr, pairing);
        SyncSession session(drive, noYield);
        syncPlan(plan, session);
        if (plan.size() == 0) break;
    }
    std::map<std::string, std::uint64_t> files;
    for (const char* side : {"one", "two"})
        for (const auto& entry : stdfs::recursive_directory_iterator(top + side))
            if (entry.is_regular_file())
                files[entry.path().string().substr(top.size())] = hashOf(testing::contentsOf(entry.path()));
    return files;
}

// Two folders of a photo library's kind: namesakes in several folders, an empty file, a
// sparse one, now and then one of a few megabytes; some files on both sides at other times.
void makeTrees(const std::string& top, std::mt19937_64& random) {
    const char* names[] = {"IMG_0041.JPG", "report.txt", "notes.md", "empty.txt", "sparse.img", "big.bin"};
    const char* folders[] = {"", "", "a/", "b/c/"};
    for (const char* side : {"one/", "two/"})
        for (int i = 0, files = 2 + int(random() % 7); i < files; ++i) {
            const std::string name = names[random() % std::size(names)];
            const std::string path = top + side + folders[random() % std::size(folders)] + name;
            if (stdfs::exists(path) || (name == "big.bin" && random() % 3)) continue;
            std::string data;
            if (name == "big.bin")
                data.resize((2 << 20) + random() % 4096);
            else if (name == "sparse.img")
                data.resize(1 << 20);
            else if (name != "empty.txt")
                data.resize(1 + random() % 9000);
            for (std::size_t at = name == "sparse.img" ? data.size() - 100 : 0; at < data.size(); ++at)
                data[at] = char(random());
            stdfs::create_directories(stdfs::path(path).parent_path());
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (name == "sparse.img")
                ::pwrite(fd, data.data() + data.size() - 100, 100, off_t(data.size()) - 100);
            else
                (void)!::write(fd, data.data(), data.size());
            ::close(fd);
            testing::setTime(path, {1'300'000'000 + std::int64_t(random() % 400'000'000), 0});
        }
    stdfs::create_directories(top + "one");
    stdfs::create_directories(top + "two");
}

// Records one sync over random trees and replays crashes in it; the failures, or nothing.
std::string replaySeed(std::uint64_t seed, const Kind& kind, Pairing pairing, std::size_t& statesChecked) {
    std::mt19937_64 random(seed);
    testing::TempFolder recorded;
    const std::string top = recorded.path();
    makeTrees(top, random);
    std::ostringstream failures;
    std::map<std::string, std::uint64_t> promised;
    {
        testing::TempFolder again;
        PosixFileSystem plain;
        const DriveState start = CrashRecorder(plain, top, true).before;
        materialize(start, again.path());
        promised = syncedFolders(again.path(), kind, pairing);
    }
    HomeOn homeOnTheDrive(top);
    PosixFileSystem posix(PosixFileSystem::NewFiles::AlwaysNamed);
    FakeDrive drive(posix, driveAt(top, kind));
    CrashRecorder recorder(drive, top, kind.model == Model::Ordered);
    // Namesakes in several folders pair by name alone: which of them ends up where depends on
    // the order of the rows, and a crash changes what the next run starts from. There only
    // what the folders hold is checked, not where.
    bool namesakes = false;
    {
        Plan plan = testing::comparePlan(recorder, top + "one/", top + "two/", nullptr, pairing);
        for (std::size_t row = 0; row < plan.size(); ++row)
            namesakes = namesakes || wantsALook(plan, row);
        NoYield noYield;
        SyncSession session(recorder, noYield);
        syncPlan(plan, session);
    }
    std::set<std::uint64_t> versions;
    for (const auto& [id, inode] : recorder.before.inodes)
        versions.insert(hashOf(inode.data));

    const CrashStates states(recorder, kind.model);
    // Every moment between two changes, before and after each flush between them.
    const std::size_t points = recorder.changes.size();
    for (std::size_t point = 0, flushed = 0; point <= points;
         flushed < recorder.flushes.size() && recorder.flushes[flushed].after == point ? ++flushed : ++point)
        for (int variant = 0; variant < 2; ++variant) {
            testing::TempFolder crashed;
            const std::string at = crashed.path();
            const DriveState crashState = states.at(point, flushed, random);
            materialize(crashState, at);
            const std::map<std::string, std::uint64_t> recovered = syncedFolders(at, kind, pairing);
            ++statesChecked;
            std::set<std::uint64_t> present;
            for (const auto& entry : stdfs::recursive_directory_iterator(at))
                if (entry.is_regular_file()) present.insert(hashOf(testing::contentsOf(entry.path())));
            std::ostringstream problems;
            for (std::uint64_t version : versions)
                if (!present.contains(version)) problems << "a version of before the run is lost\n";
            for (const auto& [path, hash] : recovered)
                if (path.find("/~") != std::string::npos)
                    problems << "left behind: " << path << "\n";
                else if (!versions.contains(hash))
                    problems << "holds what no file held before the run: " << path << "\n";
            if (!namesakes && recovered != promised) {
                for (const auto& [path, hash] : recovered)
                    if (!promised.contains(path) || promised.at(path) != hash)
                        problems << "not as the run promised: " << path << "\n";
                for (const auto& [path, hash] : promised)
                    if (!recovered.contains(path)) problems << "missing: " << path << "\n";
            }
            if (!problems.str().empty()) {
                failures << "seed " << seed << ", crash after change " << point << " of " << points
                         << " and flush " << flushed << " (" << kind.mountType
                         << (pairing == Pairing::ByPlace ? ", by place" : ", by name") << "), variant "
                         << variant << ":\n"
                         << problems.str();
                return failures.str();
            }
        }
    return {};
}

// Where the folders are made: in memory where there is room, since every flush of the runs
// would wait for a disk otherwise, and nothing of them needs to outlive the test.
std::optional<testing::PinnedEnvironment> inMemory() {
    struct statvfs room;
    if (::statvfs("/dev/shm", &room) != 0 || room.f_bavail * room.f_frsize < (std::uint64_t(512) << 20))
        return std::nullopt;
    return std::make_optional<testing::PinnedEnvironment>("TMPDIR", "/dev/shm");
}

TEST(CrashReplay, APowerCutAnywhereInASyncLosesNothing) {
    const auto folders = inMemory();
    const Kind kinds[] = {{Model::Ordered, EXT4_SUPER_MAGIC, "ext4"},
                          {Model::Stick, FUSE_SUPER_MAGIC, "fuse.exfat"},
                          {Model::Stick, FUSE_SUPER_MAGIC, "fuse.fusefat", true}};
    const char* replay = std::getenv("QUELLOMIR_CRASH_SEED");
    const char* seconds = std::getenv("QUELLOMIR_CRASH_SECONDS");
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    std::size_t states = 0;
    // The sanitizer builds, many times slower, take a few seeds: every path, fewer states.
    const char* lastSeed = std::getenv("QUELLOMIR_CRASH_SEEDS");
    const std::uint64_t last = lastSeed ? std::strtoull(lastSeed, nullptr, 10) : 24;
    std::uint64_t seed = replay ? std::strtoull(replay, nullptr, 10) : 1;
    for (;; ++seed) {
        for (const Kind& kind : kinds) {
            // Odd seeds pair by name, even ones by place.
            const Pairing pairing = seed % 2 ? Pairing::ByName : Pairing::ByPlace;
            const std::string failures = replaySeed(seed, kind, pairing, states);
            EXPECT_TRUE(failures.empty()) << failures;
            if (!failures.empty()) return;
        }
        if (replay || (seconds ? std::chrono::steady_clock::now() > end : seed >= last)) break;
    }
    std::printf("crash replay: seeds up to %llu, %zu crash states checked\n", (unsigned long long)seed,
                states);
}

} // namespace
} // namespace quellomir
