// A seeded torture run of the real command-line sync over real drives: random trees, each run
// disturbed at random (a signal, a kill, a failing call, a file edited while it is copied),
// then a recovery run, and after each one checker for every promise the sync makes.
//
// Seeds pair files by name and by place in turns of 16. CI runs seeds 1 to 64, about two
// minutes (QUELLOMIR_TORTURE_SEEDS=<n> ends at another). For longer runs:
//   QUELLOMIR_TORTURE_SECONDS=1800 build/tests/quellomir_core_tests --gtest_filter='SyncTorture.*'
// and a failing seed is replayed with QUELLOMIR_TORTURE_SEED=<seed>.
#include "cli/command_line.h"
#include "cli/command_line_run.h"
#include "handler/stop_signals.h"

#include "files/contents.h"
#include "files/path_text.h"
#include "files/time_note.h"
#include "fs/posix_file_system.h"
#include "support/faulty_file_system.h"
#include "support/sync_fixture.h"
#include "support/temp_folder.h"
#include "sync/carry_out_row.h"
#include "sync/row_action.h"
#include "sync/sync_session.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

namespace quellomir {
namespace {

namespace stdfs = std::filesystem;
using Op = testing::FaultyFileSystem::Operation;

bool run(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

struct Drive {
    std::string kind;
    std::string top; // where it is mounted, without a trailing '/'
    bool fat = false;
};

// The four kinds of drive a sync meets, each in an image (or memory) of its own, made anew for
// every seed: FAT through FUSE does not always survive a writer killed in the middle, and a
// seed should not meet what the one before it left.
class Drives {
  public:
    explicit Drives(const std::string& base) {
        const std::pair<const char*, const char*> kinds[] = {
            {"ext4",
             "mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 IMG && mount -o loop IMG MNT"},
            {"tmpfs", "mount -t tmpfs -o size=160m none MNT"},
            {"exfat", "mkfs.exfat IMG && mount.exfat-fuse $(losetup -f --show IMG) MNT"},
            {"fat", "mkfs.vfat IMG && fusefat -o rw+ IMG MNT"},
        };
        for (const auto& [kind, make] : kinds) {
            Drive drive{kind, base + kind, std::string(kind) == "fat"};
            m_make.push_back(make);
            stdfs::create_directory(drive.top);
            if (!run("truncate -s 160M " + drive.top + ".img") || !mount(drive, m_make.back()))
                failed += std::string(kind) + " ";
            all.push_back(drive);
        }
    }
    ~Drives() {
        for (const Drive& drive : all)
            unmount(drive);
    }
    bool remake(const Drive& drive) {
        unmount(drive);
        return mount(drive, m_make[std::size_t(&drive - all.data())]);
    }
    std::vector<Drive> all;
    std::string failed;

  private:
    static bool mount(const Drive& drive, std::string command) {
        for (const auto& [key, value] : {std::pair{"IMG", drive.top + ".img"}, {"MNT", drive.top}})
            for (std::size_t at; (at = command.find(key)) != std::string::npos;)
                command.replace(at, 3, value);
        return run(command);
    }
    static void unmount(const Drive& drive) {
        if (!run("umount " + drive.top)) run("umount -l " + drive.top);
        run("losetup -j " + drive.top + ".img -O NAME -n | xargs -r losetup -d");
    }
    std::vector<std::string> m_make;
};

std::uint64_t hashOf(const std::string& bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const char c : bytes)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash ^ bytes.size();
}

FileTime timeOf(const struct stat& facts) {
    return {facts.st_mtim.tv_sec, static_cast<std::int32_t>(facts.st_mtim.tv_nsec)};
}

// The comparison's rule, written anew: whole seconds rounded to the nearest; on FAT, 2
// seconds apart or an hour apart give or take 2 are equal.
int compareTimes(FileTime a, FileTime b, bool fat, bool sameSize = true) {
    auto rounded = [](FileTime t) { return t.seconds + (t.nanoseconds >= 500'000'000 ? 1 : 0); };
    const std::int64_t apart = rounded(a) - rounded(b);
    const std::int64_t distance = apart < 0 ? -apart : apart;
    if (distance == 0 || (fat && (distance <= 2 || (sameSize && distance >= 3598 && distance <= 3602))))
        return 0;
    return apart < 0 ? -1 : 1;
}

// Runs the sync as the window does, each row by its tick at its turn, while rows still to come
// are unticked now and then, as a user clicking during a run would. Prints the destination of
// each copy row found unticked at its turn that no row carried out wrote.
int syncUntickingRows(FileSystem& fs, const std::string& one, const std::string& two, std::uint64_t seed,
                      Pairing pairing, const std::vector<std::string>& excluded) {
    Plan plan = testing::comparePlan(fs, one, two, nullptr, pairing, Exclusions(excluded));
    plan.setAllChecked(true);
    NoYield yielder;
    SyncSession session(fs, yielder);
    session.finishEarlierRuns(plan);
    std::mt19937_64 random(seed);
    std::vector<bool> passedOver(plan.size(), false);
    for (std::size_t row = 0; row < plan.size(); ++row) {
        if (!plan.tickedNow(row)) {
            session.passOver(row);
            passedOver[row] = true;
            continue;
        }
        const CopyResult result = carryOutRow(plan, row, rowAction(plan.actionText(row)), session);
        result.done ? plan.markDone(row) : plan.markFailed(row, result.reason);
        // Rows ahead of this one may have their copies made already.
        if (row + 1 < plan.size() && random() % 2 == 0) {
            const std::size_t later = row + 1 + random() % (plan.size() - row - 1);
            if (plan.rows()[later].kind == RowKind::Copy) plan.tick(later, false);
        }
    }
    session.flush(plan);
    auto destination = [&](std::size_t row) {
        return plan.rows()[row].kind == RowKind::Copy
                   ? joinPath(plan.destinationText(row), GetFileName(plan.sourceText(row)))
                   : plan.destinationText(row);
    };
    std::set<std::string> written;
    for (std::size_t row = 0; row < plan.size(); ++row)
        if (plan.rows()[row].outcome == Outcome::Done) written.insert(destination(row));
    for (std::size_t row = 0; row < plan.size(); ++row)
        if (passedOver[row] && plan.rows()[row].kind == RowKind::Copy && !written.contains(destination(row)))
            std::printf("UNTICKED\t%s\n", destination(row).c_str());
    std::fflush(stdout);
    return 0;
}

// Every version of a file that ever existed: its contents' hash and the time it was made with.
struct Versions {
    std::map<std::uint64_t, FileTime> made;
    std::set<std::uint64_t> mustExist; // those no edit of the user's destroyed
};

// Where the two folders lie on one drive: apart, or one inside the other (a nightly job set up
// with the backup inside what it backs up, or the reverse).
enum class Nesting { Apart, TwoInOne, OneInTwo };

// What a seed's runs leave out of both sides: nothing, or a file name and a folder name.
const std::vector<std::string> SomeExclusions = {"Thumbs.db", "c/"};

bool isStick(const Drive& drive) {
    return drive.kind == "exfat" || drive.kind == "fat";
}

class Torture {
  public:
    Torture(std::uint64_t seed, const Drive& first, const Drive& second, const std::string& home,
            Nesting nesting = Nesting::Apart, std::vector<std::string> excluded = {})
        : m_random(seed),
          m_fat(first.fat || second.fat), m_fats{first.fat, second.fat}, m_sticks{isStick(first),
                                                                                  isStick(second)},
          m_home(home), m_byPlace(seed / 16 % 2 == 1), m_excluded(std::move(excluded)) {
        m_drives = {first.top};
        if (second.top != first.top) m_drives.push_back(second.top);
        m_one = first.top + (nesting == Nesting::OneInTwo ? "/two/nest/one/" : "/one/");
        m_two = second.top + (nesting == Nesting::TwoInOne ? "/one/nest/two/" : "/two/");
        for (const std::string& top : m_drives)
            writeFile(top + "/outside.txt", "outside");
        stdfs::create_directories(m_one);
        stdfs::create_directories(m_two);
    }

    void makeTrees() {
        std::vector<std::pair<std::string, FileTime>> made;
        for (const std::string& side : {m_one, m_two})
            for (int i = 0, files = 3 + int(m_random() % 14); i < files; ++i) {
                const std::string path = side + pick(folders()) + pick(names());
                if (stdfs::exists(path)) continue;
                stdfs::create_directories(stdfs::path(path).parent_path());
                const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
                writeContents(fd, onFat(path));
                ::close(fd);
                made.emplace_back(path, FileTime{1'300'000'000 + std::int64_t(m_random() % 400'000'000),
                                                 std::int32_t(m_random() % 1'000'000'000)});
            }
        // A name the other side's stick cannot hold: its row fails before anything is written,
        // at every run, and the rest of the run goes on.
        for (int side = 0; side < 2; ++side) {
            if (m_sticks[side] || !m_sticks[1 - side]) continue;
            const std::string path = (side == 0 ? m_one : m_two) + "a/meeting 10:30?.txt";
            stdfs::create_directories(stdfs::path(path).parent_path());
            writeFile(path, "notes #" + std::to_string(++m_nextId));
            made.emplace_back(path, FileTime{1'600'000'000 + std::int64_t(m_random() % 1000), 0});
        }
        settle();
        for (const auto& [path, time] : made) {
            testing::setTime(path, time);
            recordPath(path);
            if (leftOut(path)) m_leftOutMade.insert(path);
        }
    }

    // FAT through FUSE stamps a new file with the time of now when it takes its close, which
    // the kernel hands it after close() returned: times set before that are lost.
    void settle() const {
        if (m_fat) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    // Files where real data meets the program's own guesses: an older version of a file, of
    // its size, dated at the age the program gives copies it has not finished (give or take 5
    // seconds); a file dated a day ahead of the clock; and "~" files named like the program's
    // own, loosely or exactly, some another user's, a note among them. None is the program's
    // to remove or retime.
    void plantLookalikes() {
        std::vector<std::string> files;
        for (const std::string& side : {m_one, m_two})
            for (const auto& entry : stdfs::recursive_directory_iterator(side))
                if (entry.is_regular_file()) files.push_back(entry.path());
        for (int i = 0, count = int(m_random() % 3); i < count && !files.empty(); ++i) {
            const std::string source = pick(files);
            const std::string other = source.starts_with(m_one) ? m_two : m_one;
            const std::string path = other + stdfs::path(source).filename().string();
            if (stdfs::exists(path) ||
                (m_sticks[other == m_two] && path.find_first_of(":?") != std::string::npos))
                continue;
            struct stat facts;
            if (::stat(source.c_str(), &facts) != 0 || facts.st_size == 0) continue;
            std::string bytes = testing::contentsOf(source);
            bytes[m_random() % bytes.size()] ^= 0x5A;
            writeFile(path, bytes);
            settle();
            const std::int64_t age = 172'800 + (m_fat ? 10 : 2) + std::int64_t(m_random() % 11) - 5;
            testing::setTime(path, {facts.st_mtim.tv_sec - age, std::int32_t(facts.st_mtim.tv_nsec)});
            recordPath(path);
            if (leftOut(path)) m_leftOutMade.insert(path);
        }
        if (!files.empty() && m_random() % 2 == 0) {
            const std::string path = pick(files);
            testing::setTime(path, {std::int64_t(std::time(nullptr)) + 86'400, 0});
            struct stat facts;
            ::stat(path.c_str(), &facts);
            m_versions.made[hashOf(testing::contentsOf(path))] = timeOf(facts);
        }
        std::vector<std::pair<std::string, std::string>> planted; // path, contents
        for (const std::string& side : {m_one, m_two}) {
            // A note as the program writes it, naming a file beside it by its size and bytes,
            // to set it back to 1970: only the program's own notes may do that.
            std::string note = "quellomir time note\nnone\n0 0\n0 0\n";
            for (const auto& entry : stdfs::directory_iterator(side))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '~') {
                    const std::string bytes = testing::contentsOf(entry.path());
                    ContentsHash hash;
                    hash.add(bytes.data(), bytes.size());
                    note = timeNoteText(
                        {entry.path().filename(), {0, 0}, std::int64_t(bytes.size()), hash.value()});
                }
            for (const std::string& contents :
                 {std::string("a list"), std::string("another user's copy"), note}) {
                static const char* const names[] = {"~quellomir-shopping.tmp", "~quellomir-0-1f-2a-000.tmp",
                                                    "~quellomir-0-2f-3b-100.tmp"};
                const std::string path = side + names[planted.size() % 3];
                writeFile(path, contents);
                planted.emplace_back(path, contents);
            }
        }
        settle();
        for (std::size_t i = 0; i < planted.size(); ++i) {
            const auto& [path, contents] = planted[i];
            // Another user's, where the drive keeps owners; the first is this user's own.
            if (i % 3 != 0) (void)!::chown(path.c_str(), 65534, 65534);
            struct stat facts;
            ::stat(path.c_str(), &facts);
            // Where the drive keeps no owners, these would be this user's own, by all a
            // program can see; such files from earlier runs are the kills' to make.
            if (i % 3 != 0 && facts.st_uid != 65534) {
                stdfs::remove(path);
                continue;
            }
            m_untouchable[path] = {contents, timeOf(facts)};
        }
    }

    // One run of the program, disturbed in one random way, then the checks; what failed, if
    // anything, with what the run was.
    std::string disturbedRun() {
        static const char* const ways[] = {"nothing",
                                           "SIGINT",
                                           "SIGTERM",
                                           "SIGHUP",
                                           "SIGKILL",
                                           "a fault",
                                           "an edit",
                                           "a closed output",
                                           "ticks changed during the run",
                                           "another program saving a file under a name the run takes"};
        const int way = int(m_random() % 10);
        std::string what = std::string("run disturbed by ") + ways[way];
        const int status = runProgram(way, what);
        const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const bool expected = way == 4 || exit == 0 || exit == 1 || (way >= 1 && way <= 3 && exit == 130) ||
                              ((way == 5 || way == 7) && exit == 2);
        std::string failures = expected ? "" : "unexpected status " + std::to_string(status) + "\n";
        failures += std::exchange(m_slowStop, "");
        // A row unticked before its turn leaves nothing of its copy.
        for (std::size_t at = 0; (at = m_lastOutput.find("UNTICKED\t", at)) != std::string::npos;) {
            at += 9;
            const std::string path = m_lastOutput.substr(at, m_lastOutput.find('\n', at) - at);
            if (stdfs::exists(path))
                failures += "a row unticked before its turn left its copy: " + path + "\n";
        }
        failures += check(false);
        if (!failures.empty()) failures += "what the run printed:\n" + m_lastOutput;
        return failures.empty() ? "" : what + ":\n" + failures;
    }

    std::string recoveryRun() {
        std::string what = "recovery run";
        // What a stopped run left may be edited before the next one, as any file.
        if (m_random() % 4 == 0) what += " after an edit" + editAFile();
        const std::map<std::string, Kept> before = keptFiles();
        const int status = runProgram(0, what);
        std::string failures = WIFEXITED(status) && WEXITSTATUS(status) <= 1
                                   ? ""
                                   : "unexpected status " + std::to_string(status) + "\n";
        // A stopped run's copy that holds its source's bytes is finished where it is, never
        // written again: a file now in its place with the same bytes and the source's time, of
        // which the stopped copy carried the provisional age, was such a copy rewritten. (Where
        // several rows replace one file, one name in several subfolders, an earlier row may
        // have replaced it first.)
        for (const auto& [path, now] : keptFiles()) {
            const auto was = before.find(path);
            if (was == before.end() || was->second.inode == now.inode || was->second.hash != now.hash)
                continue;
            std::size_t rows = 0;
            for (std::size_t at = 0; (at = m_lastOutput.find("\t" + path + "\n", at)) != std::string::npos;
                 ++at)
                ++rows;
            if (rows != 1) continue;
            const FileTime provisional =
                provisionalTime(now.time, m_fat ? TimeRule::FatTolerant : TimeRule::SecondExact);
            if (std::abs(was->second.time.seconds - provisional.seconds) <= 2)
                failures +=
                    "a stopped run's copy that held its source's bytes was written again: " + path + "\n";
        }
        failures += check(true);
        if (!failures.empty()) failures += "what the recovery run printed:\n" + m_lastOutput;
        return failures.empty() ? "" : what + ":\n" + failures;
    }

  private:
    struct Kept {
        ino_t inode = 0;
        std::uint64_t hash = 0;
        FileTime time;
    };
    // The files of both sides (not FAT's, where a write moves no time and only a new copy is
    // sure), by path.
    std::map<std::string, Kept> keptFiles() const {
        std::map<std::string, Kept> kept;
        for (const std::string& side : {m_one, m_two}) {
            if (onFat(side)) continue;
            for (const auto& entry : stdfs::recursive_directory_iterator(side)) {
                struct stat facts;
                if (!entry.is_regular_file() || entry.path().filename().string().starts_with("~") ||
                    ::stat(entry.path().c_str(), &facts) != 0)
                    continue;
                kept[entry.path()] = {facts.st_ino, hashOf(testing::contentsOf(entry.path())), timeOf(facts)};
            }
        }
        return kept;
    }

    bool onFat(const std::string& path) const { return path.starts_with(m_one) ? m_fats[0] : m_fats[1]; }

    template <class T> const T& pick(const std::vector<T>& from) { return from[m_random() % from.size()]; }

    // Names in several scripts, with namesakes in several folders; FAT through FUSE takes
    // only ASCII names.
    std::vector<std::string> names() const {
        if (m_fat)
            return {"report.txt", "IMG_0041.JPG", "Thumbs.db", "naive cafe.txt", "data.bin", "notes.md"};
        return {"report.txt", "IMG_0041.JPG", "Thumbs.db", "Отчёт.odt",
                "写真.jpg",   "αρχείο.dat",   "ملف.bin",   "naïve café.txt"};
    }
    std::vector<std::string> folders() const {
        if (m_fat) return {"", "", "a/", "b/c/", "2021/Moskva/"};
        return {"", "", "a/", "b/c/", "2021/Москва/"};
    }

    static void writeFile(const std::string& path, const std::string& contents) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, contents.data(), contents.size()) != ssize_t(contents.size()))
            ADD_FAILURE() << "cannot write " << path;
        ::close(fd);
    }

    std::string randomBytes(std::size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>(m_random());
        return bytes;
    }

    // What the file open at `fd` holds, read through a descriptor of its own: FAT through FUSE
    // reads short through the one that wrote.
    static std::string readAll(int fd) { return testing::contentsOf("/proc/self/fd/" + std::to_string(fd)); }

    // New contents for a new file open at `fd`, unique to it: empty, small, a few MB, or with
    // holes laid out at random (data at the start, the end, several ranges off block
    // boundaries, none). On FAT, which keeps no holes and through FUSE takes no writes past
    // the end, the file is written whole, in order.
    void writeContents(int fd, bool fat) {
        const std::string id = "#" + std::to_string(++m_nextId) + "#";
        const unsigned kind = unsigned(m_random() % 10);
        if (kind >= 1 && kind <= 6) {
            const std::string data =
                id + randomBytes(kind == 6 ? (1 + m_random() % 3) << 20 : m_random() % 65536);
            (void)!::pwrite(fd, data.data(), data.size(), 0);
        } else if (kind > 6) {
            std::string whole(std::size_t(1 << 20) + m_random() % (2 << 20) + std::size_t(m_nextId), '\0');
            std::vector<std::pair<std::size_t, std::string>> ranges;
            for (int range = 0, count = int(m_random() % 4); range < count; ++range) {
                const std::size_t at = m_random() % 3 == 0 ? 0 : m_random() % whole.size();
                std::string data = (id + randomBytes(m_random() % 100'000)).substr(0, whole.size() - at);
                whole.replace(at, data.size(), data);
                ranges.emplace_back(at, std::move(data));
            }
            if (fat) {
                (void)!::pwrite(fd, whole.data(), whole.size(), 0);
            } else {
                for (const auto& [at, data] : ranges)
                    (void)!::pwrite(fd, data.data(), data.size(), off_t(at));
                (void)!::ftruncate(fd, off_t(whole.size()));
            }
        }
    }

    // Whether the seed's exclusions leave `path` out of its side (SomeExclusions).
    bool leftOut(const std::string& path) const {
        if (m_excluded.empty()) return false;
        const std::string& side = path.starts_with(m_two) ? m_two : m_one;
        return stdfs::path(path).filename() == "Thumbs.db" ||
               path.find("/c/", side.size() - 1) != std::string::npos;
    }

    void recordPath(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        record(fd);
        ::close(fd);
    }

    void record(int fd) {
        struct stat facts;
        ::fstat(fd, &facts);
        const std::uint64_t hash = hashOf(readAll(fd));
        m_versions.made.emplace(hash, timeOf(facts));
        m_versions.mustExist.insert(hash);
    }

    // Grows a file of either side, or writes over part of it, in place, as a user's program
    // would while the sync runs; the version it had is the user's to lose. (FAT through FUSE
    // cannot shorten a file.)
    std::string editAFile() {
        std::vector<std::string> files;
        for (const std::string& side : {m_one, m_two})
            for (const auto& entry : stdfs::recursive_directory_iterator(side))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '~')
                    files.push_back(entry.path());
        if (files.empty()) return "";
        const std::string path = pick(files);
        const std::string edit = "#" + std::to_string(++m_nextId) + "#" + randomBytes(m_random() % 20'000);
        const std::uint64_t choice = m_random();
        // The edit follows the open at once, as a user's program writes; what it destroyed is
        // worked out afterwards from the bytes it wrote over.
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        struct stat facts;
        if (fd < 0 || ::fstat(fd, &facts) != 0) return "";
        const std::size_t size = std::size_t(facts.st_size);
        const bool grow = size < edit.size() || choice % 2 == 0;
        const std::size_t at = grow ? size : choice / 2 % (size - edit.size() + 1);
        std::string overwritten(grow ? 0 : edit.size(), '\0');
        const int reader = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
        (void)!::pread(reader, overwritten.data(), overwritten.size(), off_t(at));
        ::close(reader);
        (void)!::pwrite(fd, edit.data(), edit.size(), off_t(at));
        // Written after a row replaced the file it had open, as with any program that writes
        // through a descriptor: the edit went to a file no folder holds any more.
        if (::fstat(fd, &facts) == 0 && facts.st_nlink == 0) {
            ::close(fd);
            return " of " + path + ", written after the file was replaced";
        }
        std::string before = readAll(fd);
        before.replace(at, edit.size(), overwritten);
        m_versions.mustExist.erase(hashOf(before));
        // What the edit made is read through its own descriptor: a row may have moved the file
        // into the Trash meanwhile. Its time, once it is closed, where the path still leads to
        // it: a FUSE drive may set the time only then.
        struct stat open;
        ::fstat(fd, &open);
        const std::uint64_t hash = hashOf(readAll(fd));
        ::close(fd);
        struct stat closed;
        const bool same = ::stat(path.c_str(), &closed) == 0 && closed.st_ino == open.st_ino &&
                          closed.st_dev == open.st_dev;
        m_versions.made.emplace(hash, timeOf(same ? closed : open));
        m_versions.mustExist.insert(hash);
        return " of " + path;
    }

    // Runs `quellomir sync one two` in a child process, disturbed in the way numbered `way`.
    int runProgram(int way, std::string& what) {
        int ready[2];
        int output[2];
        if (::pipe(ready) != 0 || ::pipe(output) != 0) return -1;
        const Op faults[] = {
            Op::ListFolder,    Op::Stat,       Op::OpenFolder,     Op::StatAt,          Op::CopyToNewFile,
            Op::RestatSource,  Op::SyncFile,   Op::NameNewFile,    Op::NameByCopy,      Op::SetModified,
            Op::SetMode,       Op::SyncFolder, Op::SyncFileSystem, Op::CreateTrashInfo, Op::LinkIntoTrash,
            Op::MoveIntoTrash, Op::Unlink,     Op::OpenToRead};
        const Op fault = faults[m_random() % std::size(faults)];
        const int nth = 1 + int(m_random() % 6);
        const int error = fault == Op::OpenToRead && m_random() % 2 ? EMFILE : m_random() % 2 ? EIO : ENOSPC;
        // Another program's file, saved under the name the run is about to give a copy: the one
        // step that takes the name must refuse it, and it must stay.
        const std::string theirs = "#" + std::to_string(++m_nextId) + "# saved by another program\n";
        const std::string saved = m_home.substr(0, m_home.size() - 1) + "-another-program-saved";
        ::unlink(saved.c_str());
        // Before the naming is asked for, or, where the drive refuses no name in a rename,
        // right before the name is claimed by a create.
        const Op naming = m_random() % 2 ? Op::NameNewFile : Op::NameByCopy;
        if (way == 9)
            what +=
                " (before naming " + std::to_string(nth) + ", operation " + std::to_string(int(naming)) + ")";
        if (way == 5)
            what += " (call " + std::to_string(nth) + " of operation " + std::to_string(int(fault)) + ")";
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("HOME", m_home.c_str(), 1);
            ::setenv("XDG_DATA_HOME", (m_home + ".local/share").c_str(), 1);
            ::dup2(output[1], 1);
            ::close(output[0]);
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, 2);
            static std::atomic<bool> stop{false};
            stopGentlyOnSignals(stop);
            (void)!::write(ready[1], "r", 1);
            PosixFileSystem posix;
            testing::FaultyFileSystem faulty(posix);
            if (way == 5) faulty.failCall(fault, nth, error);
            if (way == 9)
                faulty.beforeCall(naming, nth, [&](const std::string& path) {
                    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                    if (fd < 0) return;
                    (void)!::write(fd, theirs.data(), theirs.size());
                    ::close(fd);
                    struct stat facts;
                    if (::stat(path.c_str(), &facts) != 0) return;
                    const std::string time =
                        std::to_string(facts.st_mtim.tv_sec) + " " + std::to_string(facts.st_mtim.tv_nsec);
                    const int marker = ::open(saved.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                    (void)!::write(marker, time.data(), time.size());
                    ::close(marker);
                });
            if (way == 8)
                ::_exit(syncUntickingRows(posix, m_one, m_two, m_random(),
                                          m_byPlace ? Pairing::ByPlace : Pairing::ByName, m_excluded));
            std::vector<std::string> texts = {"quellomir", "sync", m_one, m_two,
                                              m_byPlace ? "--pair-by=path" : "--pair-by=name"};
            for (const std::string& pattern : m_excluded)
                texts.push_back("--exclude=" + pattern);
            std::vector<const char*> words;
            for (const std::string& text : texts)
                words.push_back(text.c_str());
            Terminal terminal;
            terminal.interrupted = &stop;
            const CodePage codePage;
            ::_exit(runCommandLine(parseCommandLine(int(words.size()), words.data()), faulty, codePage,
                                   terminal));
        }
        ::close(ready[1]);
        ::close(output[1]);
        char byte;
        (void)!::read(ready[0], &byte, 1);
        ::close(ready[0]);
        std::thread drain;
        if (way != 7)
            drain = std::thread([this, fd = output[0]] {
                char buffer[4096];
                m_lastOutput.clear();
                for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
                    m_lastOutput.append(buffer, std::size_t(got));
            });
        const auto delay = std::chrono::milliseconds(m_random() % 300);
        what += " after " + std::to_string(delay.count()) + " ms";
        std::this_thread::sleep_for(delay);
        const int signals[] = {0, SIGINT, SIGTERM, SIGHUP, SIGKILL};
        if (way >= 1 && way <= 4) ::kill(child, signals[way]);
        const auto stopped = std::chrono::steady_clock::now();
        if (way == 6) what += editAFile();
        if (way == 7) ::close(output[0]);
        int status = 0;
        for (int waited = 0; ::waitpid(child, &status, WNOHANG) == 0; ++waited) {
            if (waited == 120'000 / 5) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                what += " (hung, killed)";
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (drain.joinable()) {
            drain.join();
            ::close(output[0]);
        }
        if (::access(saved.c_str(), F_OK) == 0) {
            long long seconds = 0;
            int nanoseconds = 0;
            std::istringstream(testing::contentsOf(saved)) >> seconds >> nanoseconds;
            m_versions.made.emplace(hashOf(theirs), FileTime{seconds, nanoseconds});
            m_versions.mustExist.insert(hashOf(theirs));
            ::unlink(saved.c_str());
        }
        // A stop is answered at once: the copies under way and the flush of those made are all
        // that may hold the program, seconds on these drives, never a wait for a time.
        const auto took = std::chrono::steady_clock::now() - stopped;
        if (way >= 1 && way <= 3 && took > std::chrono::seconds(60))
            m_slowStop = "ended " +
                         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(took).count()) +
                         " s after the stop\n";
        return status;
    }

    // The one checker: what every run, finished or stopped in any way, must leave.
    std::string check(bool recovered) {
        std::ostringstream failures;
        std::set<std::uint64_t> present;
        // A copy killed right after its rename on a drive that stamps renames looks newer
        // until the next sync, which the note beside it tells the time it is to have.
        std::set<std::string> noted;
        // On a drive that refuses no name in a rename, a copy claims its name by creating it:
        // a run killed meanwhile leaves there the start of its "~" file, a leftover like that
        // one, which the next run removes.
        std::set<std::string> claimed;
        for (const std::string& side : {m_one, m_two})
            for (const auto& entry : stdfs::recursive_directory_iterator(side)) {
                if (!entry.is_regular_file() || !entry.path().filename().string().starts_with("~")) continue;
                const std::string note = testing::contentsOf(entry.path());
                if (!note.starts_with("quellomir time note\n")) continue;
                const std::string named =
                    entry.path().parent_path().string() + "/" + note.substr(20, note.find('\n', 20) - 20);
                noted.insert(named);
                if (note.find("\nclaimed ~quellomir-") != std::string::npos) claimed.insert(named);
            }
        for (const std::string& top : m_drives)
            for (const auto& entry : stdfs::recursive_directory_iterator(top)) {
                const std::string path = entry.path();
                const std::string name = entry.path().filename();
                if (!entry.is_regular_file() || path.ends_with(".trashinfo") || path == top + "/outside.txt")
                    continue;
                if (path.find("/lost+found/") != std::string::npos) continue;
                const bool inTrash = path.find("/.Trash-") != std::string::npos;
                const bool inFolders = path.starts_with(m_one) || path.starts_with(m_two);
                if (!inTrash && !inFolders) failures << "written outside the folders: " << path << "\n";
                if (inFolders && leftOut(path) && !m_leftOutMade.contains(path) && name[0] != '~')
                    failures << "a file left out was written: " << path << "\n";
                if (name[0] == '~' || claimed.contains(path)) {
                    if (m_untouchable.contains(path)) continue;
                    if (recovered) failures << "a temporary is left after the recovery: " << path << "\n";
                    continue;
                }
                const std::uint64_t hash = hashOf(testing::contentsOf(path));
                present.insert(hash);
                const auto version = m_versions.made.find(hash);
                if (version == m_versions.made.end()) {
                    failures << "no version that existed: " << path << "\n";
                    continue;
                }
                struct stat facts;
                ::stat(path.c_str(), &facts);
                if (!inTrash && facts.st_size > 0 &&
                    compareTimes(timeOf(facts), version->second, m_fat) > 0 && !noted.contains(path))
                    failures << "looks newer than the version it copies: " << path << " ("
                             << timeOf(facts).seconds << " s against " << version->second.seconds << " s)\n";
                // No file is set far older than its version, as a note not of the program's own
                // would set it. (A copy may carry a copy's provisional time on: a stopped run's
                // copy, a few days older, is a source like any file.)
                if (!inTrash && facts.st_size > 0 &&
                    version->second.seconds - timeOf(facts).seconds > 30 * 86'400)
                    failures << "set far older than the version it copies: " << path << "\n";
            }
        for (const auto& [path, kept] : m_untouchable) {
            struct stat facts;
            if (::stat(path.c_str(), &facts) != 0 || testing::contentsOf(path) != kept.first ||
                !(timeOf(facts) == kept.second))
                failures << "a file like the program's own was changed or removed: " << path << "\n";
        }
        for (const std::uint64_t hash : m_versions.mustExist)
            if (!present.contains(hash))
                failures << "a version is lost: " << std::hex << hash << std::dec << "\n";
        for (const std::string& top : m_drives)
            if (testing::contentsOf(top + "/outside.txt") != "outside") failures << "outside.txt changed\n";
        if (stdfs::exists(m_home) && !stdfs::is_empty(m_home)) failures << "written into the home folder\n";
        if (recovered) failures << planDifferences();
        return failures.str();
    }

    // The program's next plan against one the rules predict from the files as they are: files
    // paired by name, or by their path below the two folders.
    std::string planDifferences() {
        struct Listed {
            std::string path;
            FileTime time;
            off_t size;
        };
        // Paired by place, a folder inside the other takes no part in the other's scan.
        auto listSide = [this](const std::string& side) {
            const std::string& other = side == m_one ? m_two : m_one;
            const bool otherInside = m_byPlace && other.starts_with(side);
            std::multimap<std::string, Listed> files;
            for (const auto& entry : stdfs::recursive_directory_iterator(side)) {
                const std::string name = entry.path().filename();
                if (otherInside && (entry.path().string() + "/").starts_with(other)) continue;
                if (!entry.is_regular_file() || name[0] == '~') continue;
                if (leftOut(entry.path())) continue;
                struct stat facts;
                ::stat(entry.path().c_str(), &facts);
                files.emplace(m_byPlace ? entry.path().string().substr(side.size()) : name,
                              Listed{entry.path(), timeOf(facts), facts.st_size});
            }
            return files;
        };
        // Where a copy goes: the other folder's top, or the subfolder at the same place there.
        auto into = [this](const std::string& key, const std::string& other) {
            return m_byPlace ? other + key.substr(0, key.rfind('/') + 1) : other;
        };
        const auto one = listSide(m_one);
        const auto two = listSide(m_two);
        std::multiset<std::string> predicted;
        for (const auto& [name, file] : one) {
            if (!two.contains(name)) predicted.insert(file.path + "| will be copied to|" + into(name, m_two));
            for (auto [at, end] = two.equal_range(name); at != end; ++at) {
                const int order =
                    compareTimes(file.time, at->second.time, m_fat, file.size == at->second.size);
                if (order > 0) predicted.insert(file.path + "| will overwrite an older|" + at->second.path);
                if (order < 0) predicted.insert(at->second.path + "| will overwrite an older|" + file.path);
            }
        }
        for (const auto& [name, file] : two)
            if (!one.contains(name)) predicted.insert(file.path + "| will be copied to|" + into(name, m_one));
        PosixFileSystem posix;
        const std::vector<std::string> rows = testing::rowTexts(
            testing::comparePlan(posix, m_one, m_two, nullptr, m_byPlace ? Pairing::ByPlace : Pairing::ByName,
                                 Exclusions(m_excluded)));
        const std::multiset<std::string> planned(rows.begin(), rows.end());
        std::ostringstream differences;
        for (const std::string& row : planned)
            if (!predicted.contains(row)) differences << "planned, not predicted: " << row << "\n";
        for (const std::string& row : predicted)
            if (!planned.contains(row)) differences << "predicted, not planned: " << row << "\n";
        return differences.str();
    }

    std::mt19937_64 m_random;
    bool m_fat;
    bool m_fats[2];
    bool m_sticks[2]; // exFAT or FAT
    std::string m_home;
    bool m_byPlace;                      // files paired by their place, not by name alone
    std::vector<std::string> m_excluded; // SomeExclusions, or none
    std::set<std::string> m_leftOutMade; // the files of the trees that they leave out
    std::vector<std::string> m_drives;
    std::string m_one;
    std::string m_two;
    Versions m_versions;
    std::map<std::string, std::pair<std::string, FileTime>> m_untouchable; // contents and time
    int m_nextId = 0;
    std::string m_slowStop;   // of the last run
    std::string m_lastOutput; // of the last run
};

// Runs one seed: trees on two drives it picks, then disturbed runs each followed by a recovery.
std::string tortureSeed(std::uint64_t seed, Drives& drives, const std::string& home) {
    // Every pair of drives, the same drive twice included, in each run of 16 seeds.
    const Drive& first = drives.all[seed / drives.all.size() % drives.all.size()];
    const Drive& second = drives.all[seed % drives.all.size()];
    // Of the seeds that put both folders on one drive, half nest them: in 64 seeds, each drive
    // kind both ways and with both pairings.
    const std::uint64_t kind = seed % drives.all.size(), block = seed / 16;
    const Nesting nesting = &first != &second || (block / 2 + kind) % 2 == 0 ? Nesting::Apart
                            : (block + kind / 2) % 2                         ? Nesting::TwoInOne
                                                                             : Nesting::OneInTwo;
    const char* nested = nesting == Nesting::TwoInOne   ? " (two inside one)"
                         : nesting == Nesting::OneInTwo ? " (one inside two)"
                                                        : "";
    // Named as it starts: a drive that hangs holds the test where it is.
    std::fprintf(stderr, "torture seed %llu: %s -> %s%s%s\n", static_cast<unsigned long long>(seed),
                 first.kind.c_str(), second.kind.c_str(), nested, seed % 3 == 0 ? " (files left out)" : "");
    for (const Drive* drive : {&first, &second})
        if (!drives.remake(*drive)) return "cannot make the drive " + drive->kind;
    stdfs::remove_all(home);
    stdfs::create_directories(home);
    // Every third seed leaves files out.
    const bool excluding = seed % 3 == 0;
    Torture torture(seed, first, second, home, nesting,
                    excluding ? SomeExclusions : std::vector<std::string>());
    torture.makeTrees();
    torture.plantLookalikes();
    std::string failures;
    for (int round = 0; round < 3 && failures.empty(); ++round) {
        failures = torture.disturbedRun();
        failures += torture.recoveryRun();
    }
    return failures.empty() ? ""
                            : first.kind + " -> " + second.kind + nested + ", seed " + std::to_string(seed) +
                                  ": " + failures;
}

TEST(SyncTorture, EveryRunEndsFinishedOrUndoneWhateverStopsIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting the drives needs root";
    testing::TempFolder tmp;
    Drives drives(tmp.path());
    ASSERT_TRUE(drives.failed.empty())
        << "could not make these drives (tools/setup installs their tools): " << drives.failed;
    const std::string home = tmp / "home/";
    const char* replay = std::getenv("QUELLOMIR_TORTURE_SEED");
    const char* seconds = std::getenv("QUELLOMIR_TORTURE_SECONDS");
    // QUELLOMIR_TORTURE_SEEDS=<n> ends at another seed than 64 (the sanitizer builds run fewer).
    const char* seeds = std::getenv("QUELLOMIR_TORTURE_SEEDS");
    const std::uint64_t lastSeed = seeds ? std::strtoull(seeds, nullptr, 10) : 64;
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 0);
    int failed = 0;
    for (std::uint64_t seed = replay ? std::strtoull(replay, nullptr, 10) : 1;; ++seed) {
        const std::string failures = tortureSeed(seed, drives, home);
        if (!failures.empty()) {
            ADD_FAILURE() << failures;
            if (++failed == 3) break;
        }
        if (replay) break;
        if (seconds ? std::chrono::steady_clock::now() > until : seed == lastSeed) break;
    }
}

} // namespace
} // namespace quellomir
