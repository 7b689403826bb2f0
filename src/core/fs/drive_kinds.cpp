#include "fs/drive_kinds.h"

#ifdef __linux__
#include <linux/magic.h>
#endif

#include <string_view>

namespace quellomir {

#ifdef __linux__
// The numbers written out in the header are the kernel's own.
static_assert(Ext4Magic == EXT4_SUPER_MAGIC && XfsMagic == XFS_SUPER_MAGIC &&
              BtrfsMagic == BTRFS_SUPER_MAGIC && F2fsMagic == F2FS_SUPER_MAGIC && TmpfsMagic == TMPFS_MAGIC &&
              MsdosMagic == MSDOS_SUPER_MAGIC && FuseMagic == FUSE_SUPER_MAGIC &&
              NfsMagic == NFS_SUPER_MAGIC);
#endif

bool networkOrFuse(std::uint64_t type) {
    return type == NfsMagic || type == SmbMagic || type == CifsMagic || type == Smb2Magic ||
           type == FuseMagic;
}

unsigned requestsInFlight(std::uint64_t type) {
    return networkOrFuse(type) ? 16 : 4;
}

bool wholeFlushReachesDriver(std::uint64_t type) {
#ifdef _WIN32
    // Flushing a whole volume takes an administrator: each file is flushed on its own.
    (void)type;
    return false;
#else
    return type != 0 && !networkOrFuse(type);
#endif
}

bool namesLandInOrder(std::uint64_t type) {
    // An overlay writes to the folder above it, in practice ext4 or XFS.
    return flushReachesEveryFile(type) || type == OverlayMagic;
}

bool flushReachesEveryFile(std::uint64_t type) {
#ifdef _WIN32
    if (type != 0) return false; // no flush of the whole drive is to be had there
#endif
    switch (type) {
    case Ext4Magic: // ext2, ext3 and ext4 share it
    case XfsMagic:
    case BtrfsMagic:
    case F2fsMagic:
    case TmpfsMagic:
        return true;
    default:
        return false;
    }
}

bool fatFamily(std::uint64_t type) {
    return type == MsdosMagic || type == ExfatMagic;
}

bool driveKeepsPermissionBits(std::uint64_t type) {
    return !fatFamily(type) && type != NtfsMagic && type != FuseMagic;
}

bool fuseDrive(std::uint64_t type) {
    return type == FuseMagic;
}

bool keepsHoles(std::uint64_t type) {
    switch (type) {
    case Ext4Magic:
    case XfsMagic:
    case BtrfsMagic:
    case TmpfsMagic:
    case F2fsMagic:
    case ZfsMagic:
    case OverlayMagic:
    case NfsMagic:
        return true;
    default:
        return false;
    }
}

bool heldByEveryDrive(FileTime time) {
    constexpr std::int64_t From1980 = 315'532'800;
    constexpr std::int64_t Until2038 = 2'147'483'647;
    return time.seconds >= From1980 && time.seconds < Until2038;
}

std::string_view fuseDriverOf(std::string_view mountType) {
    for (std::string_view fuse : {"fuse.", "fuseblk."})
        if (mountType.starts_with(fuse)) return mountType.substr(fuse.size());
    return {};
}

bool timesFrom1980To2107(std::uint64_t type, const std::string& mountType) {
    const std::string_view driver = fuseDriverOf(mountType);
    return fatFamily(type) || driver == "fusefat" || driver == "exfat" || driver == "vfat" ||
           driver == "msdos";
}

NameRule nameRuleOf(std::uint64_t type, const std::string& mountType) {
#ifdef _WIN32
    (void)type;
    (void)mountType;
    return NameRule::Windows;
#endif
    const std::string_view driver = fuseDriverOf(mountType);
    if (driver == "fusefat") return NameRule::AsciiFat;
    if (fatFamily(type) || driver == "exfat" || driver == "vfat" || driver == "msdos")
        return NameRule::FatOrExfat;
    return NameRule::Any;
}

std::string nameRefusal(NameRule rule, std::string_view name) {
    if (rule == NameRule::Any) return {};
    std::size_t utf16Units = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7F) return "it contains a control character";
        if (std::string_view("\"*:<>?\\|").find(char(byte)) != std::string_view::npos)
            return std::string("it contains '") + char(byte) + "'";
        if (byte >= 0x80 && rule == NameRule::AsciiFat)
            return "it contains letters other than ASCII, which this FAT driver (fusefat) does not take";
        // A 4-byte UTF-8 sequence is two UTF-16 units; continuation bytes add none.
        if ((byte & 0xC0) != 0x80) utf16Units += byte >= 0xF0 ? 2 : 1;
    }
    if (utf16Units > 255) return "it is longer than 255 characters";
    if (rule == NameRule::Windows) {
        if (name.ends_with('.') || name.ends_with(' ')) return "it ends with a dot or a blank";
        std::string stem(name.substr(0, name.find('.')));
        while (stem.ends_with(' '))
            stem.pop_back();
        for (char& c : stem)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                              stem[3] >= '1' && stem[3] <= '9';
        if (numbered || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL")
            return "Windows keeps the name " + std::string(name.substr(0, stem.size())) + " for a device";
    }
    return {};
}

bool within1980To2107(FileTime time) {
    constexpr std::int64_t From1980 = 315'532'800;
    constexpr std::int64_t After2107 = 4'354'819'200; // 2108-01-01
    return time.seconds >= From1980 && time.seconds < After2107;
}

bool writesMoveTimes(const std::string& mountType) {
    return mountType != "fuse.fusefat";
}

bool renamesOnlyShortNamesSafely(const std::string& mountType) {
    return mountType == "fuse.fusefat";
}

bool inodeNumbersMayChange(FileSystem& fs, const std::string& folder) {
    std::uint64_t type = 0;
    return fs.fileSystemType(folder, type) != 0 || networkOrFuse(type);
}

} // namespace quellomir
