// quellomir-latency-drive SOURCE MOUNTPOINT [--delay-us N] [--attr-timeout S] [--writable] [-f]
//
// A FUSE passthrough of SOURCE that makes every lookup, getattr, opendir and readdir wait N
// microseconds before it answers, as a network share does, and returns each entry's
// attributes with the listing (readdirplus), which the kernel then keeps for S seconds, as
// NFS and SMB clients do. Requests are answered on many threads at once, so a client that
// keeps several in flight gains as it would on a real network drive. Read-only unless
// --writable: then every request that writes (create, write, rename, link, unlink, times,
// modes, flushes) waits N microseconds too, once per request the kernel sends. For the
// benchmarks only.
#define FUSE_USE_VERSION 35

#include <fuse3/fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string g_source;
std::chrono::microseconds g_delay{1000};
double g_attrTimeout = 1.0;

void wait() {
    if (g_delay.count() > 0) std::this_thread::sleep_for(g_delay);
}

std::string real(const char* path) {
    return g_source + path;
}

void* init(fuse_conn_info* connection, fuse_config* config) {
    // Every listing with its attributes, not only once the kernel guesses they would help.
    connection->want |= FUSE_CAP_READDIRPLUS;
    connection->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
    config->use_ino = 1;
    config->attr_timeout = g_attrTimeout;
    config->entry_timeout = g_attrTimeout;
    config->negative_timeout = g_attrTimeout;
    return nullptr;
}

int getattr(const char* path, struct stat* facts, fuse_file_info*) {
    wait();
    return ::lstat(real(path).c_str(), facts) == 0 ? 0 : -errno;
}

int readlink(const char* path, char* buffer, size_t size) {
    wait();
    const ssize_t length = ::readlink(real(path).c_str(), buffer, size - 1);
    if (length < 0) return -errno;
    buffer[length] = '\0';
    return 0;
}

int opendir(const char* path, fuse_file_info* info) {
    wait();
    DIR* dir = ::opendir(real(path).c_str());
    if (!dir) return -errno;
    info->fh = reinterpret_cast<std::uint64_t>(dir);
    return 0;
}

// Entries go out with their offsets, so that the library hands each one to the kernel with
// its attributes and the kernel comes back for the rest where a reply was full.
int readdir(const char*, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info* info,
            fuse_readdir_flags flags) {
    wait();
    DIR* dir = reinterpret_cast<DIR*>(info->fh);
    if (offset == 0)
        ::rewinddir(dir);
    else
        ::seekdir(dir, offset);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat facts {};
        facts.st_ino = entry->d_ino;
        facts.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        auto fillFlags = static_cast<fuse_fill_dir_flags>(0);
        if ((flags & FUSE_READDIR_PLUS) &&
            ::fstatat(::dirfd(dir), entry->d_name, &facts, AT_SYMLINK_NOFOLLOW) == 0)
            fillFlags = FUSE_FILL_DIR_PLUS;
        if (fill(buffer, entry->d_name, &facts, ::telldir(dir), fillFlags)) break;
    }
    return 0;
}

int releasedir(const char*, fuse_file_info* info) {
    ::closedir(reinterpret_cast<DIR*>(info->fh));
    return 0;
}

int open(const char* path, fuse_file_info* info) {
    wait();
    const int fd = ::open(real(path).c_str(), info->flags & ~(O_CREAT | O_EXCL | O_NOFOLLOW));
    if (fd < 0) return -errno;
    info->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

// The writes, each one request that waits as the reads do.
int driveCreate(const char* path, mode_t mode, fuse_file_info* info) {
    wait();
    const int fd = ::open(real(path).c_str(), info->flags | O_CREAT, mode);
    if (fd < 0) return -errno;
    info->fh = static_cast<std::uint64_t>(fd);
    return 0;
}

int driveWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    wait();
    const ssize_t put = ::pwrite(static_cast<int>(info->fh), buffer, size, offset);
    return put < 0 ? -errno : static_cast<int>(put);
}

int result(int status) {
    return status == 0 ? 0 : -errno;
}

int driveMkdir(const char* path, mode_t mode) {
    wait();
    return result(::mkdir(real(path).c_str(), mode));
}

int driveUnlink(const char* path) {
    wait();
    return result(::unlink(real(path).c_str()));
}

int driveRmdir(const char* path) {
    wait();
    return result(::rmdir(real(path).c_str()));
}

int driveRename(const char* from, const char* to, unsigned int flags) {
    wait();
    return result(::renameat2(AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags));
}

int driveLink(const char* from, const char* to) {
    wait();
    return result(::link(real(from).c_str(), real(to).c_str()));
}

int driveSymlink(const char* target, const char* path) {
    wait();
    return result(::symlink(target, real(path).c_str()));
}

int driveChmod(const char* path, mode_t mode, fuse_file_info*) {
    wait();
    return result(::chmod(real(path).c_str(), mode));
}

int driveChown(const char* path, uid_t owner, gid_t group, fuse_file_info*) {
    wait();
    return result(::lchown(real(path).c_str(), owner, group));
}

int driveTruncate(const char* path, off_t size, fuse_file_info* info) {
    wait();
    return result(info ? ::ftruncate(static_cast<int>(info->fh), size)
                       : ::truncate(real(path).c_str(), size));
}

int driveUtimens(const char* path, const struct timespec times[2], fuse_file_info* info) {
    wait();
    return result(info ? ::futimens(static_cast<int>(info->fh), times)
                       : ::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int driveFsync(const char*, int dataOnly, fuse_file_info* info) {
    wait();
    const int fd = static_cast<int>(info->fh);
    return result(dataOnly ? ::fdatasync(fd) : ::fsync(fd));
}

int driveFsyncdir(const char*, int, fuse_file_info* info) {
    wait();
    return result(::fsync(::dirfd(reinterpret_cast<DIR*>(info->fh))));
}

int driveStatfs(const char* path, struct statvfs* facts) {
    wait();
    return result(::statvfs(real(path).c_str(), facts));
}

int driveFlock(const char*, fuse_file_info* info, int operation) {
    wait();
    return result(::flock(static_cast<int>(info->fh), operation));
}

int read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    const ssize_t got = ::pread(static_cast<int>(info->fh), buffer, size, offset);
    return got < 0 ? -errno : static_cast<int>(got);
}

int release(const char*, fuse_file_info* info) {
    ::close(static_cast<int>(info->fh));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<char*> fuseArguments{argv[0]};
    std::vector<std::string> plain;
    bool writable = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--delay-us" && i + 1 < argc)
            g_delay = std::chrono::microseconds(std::atoll(argv[++i]));
        else if (word == "--attr-timeout" && i + 1 < argc)
            g_attrTimeout = std::atof(argv[++i]);
        else if (word == "--writable")
            writable = true;
        else if (word.starts_with("-"))
            fuseArguments.push_back(argv[i]);
        else
            plain.push_back(word);
    }
    if (plain.size() != 2) {
        std::fprintf(stderr,
                     "usage: %s SOURCE MOUNTPOINT [--delay-us N] [--attr-timeout S] [--writable] [-f]\n",
                     argv[0]);
        return 2;
    }
    char resolved[PATH_MAX];
    if (!::realpath(plain[0].c_str(), resolved)) {
        std::perror(plain[0].c_str());
        return 1;
    }
    g_source = resolved;
    static std::string mountPoint = plain[1];
    static std::string options =
        std::string(writable ? "rw" : "ro") + ",default_permissions,fsname=quellomir-latency";
    static std::string dashO = "-o";
    fuseArguments.push_back(mountPoint.data());
    fuseArguments.push_back(dashO.data());
    fuseArguments.push_back(options.data());
    fuse_operations operations{};
    operations.init = init;
    operations.getattr = getattr;
    operations.readlink = readlink;
    operations.opendir = opendir;
    operations.readdir = readdir;
    operations.releasedir = releasedir;
    operations.open = open;
    operations.read = read;
    operations.release = release;
    if (writable) {
        operations.create = driveCreate;
        operations.write = driveWrite;
        operations.mkdir = driveMkdir;
        operations.unlink = driveUnlink;
        operations.rmdir = driveRmdir;
        operations.rename = driveRename;
        operations.link = driveLink;
        operations.symlink = driveSymlink;
        operations.chmod = driveChmod;
        operations.chown = driveChown;
        operations.truncate = driveTruncate;
        operations.utimens = driveUtimens;
        operations.fsync = driveFsync;
        operations.fsyncdir = driveFsyncdir;
        operations.statfs = driveStatfs;
        operations.flock = driveFlock;
    }
    return fuse_main(static_cast<int>(fuseArguments.size()), fuseArguments.data(), &operations, nullptr);
}
