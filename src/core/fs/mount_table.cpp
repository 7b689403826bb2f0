#include "fs/mount_table.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <vector>

namespace quellomir {
namespace {

struct MountLine {
    std::string_view id;
    std::string_view type;
};

// The fields of one line that matter here, or nothing for a line that is not one.
// Names with blanks in them are written with "\040", so a blank always ends a field.
std::optional<MountLine> parse(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at) fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    // The optional fields end at a lone "-", followed by the type.
    for (std::size_t i = 6; i + 1 < fields.size(); ++i)
        if (fields[i] == "-") return MountLine{fields[0], fields[i + 1]};
    return std::nullopt;
}

void forEachMount(std::string_view mountinfo, const std::function<void(const MountLine&)>& visit) {
    for (std::size_t at = 0; at < mountinfo.size();) {
        const std::size_t end = std::min(mountinfo.find('\n', at), mountinfo.size());
        if (const std::optional<MountLine> line = parse(mountinfo.substr(at, end - at))) visit(*line);
        at = end + 1;
    }
}

} // namespace

std::optional<std::string> mountTypeById(std::string_view mountinfo, std::uint64_t id) {
    std::optional<std::string> type;
    forEachMount(mountinfo, [&](const MountLine& line) {
        std::uint64_t lineId = 0;
        const auto [end, error] = std::from_chars(line.id.data(), line.id.data() + line.id.size(), lineId);
        if (error == std::errc() && end == line.id.data() + line.id.size() && lineId == id && !type)
            type = std::string(line.type);
    });
    return type;
}

std::string fileSystemOfFirstSector(std::string_view sector) {
    if (sector.size() < 512) return {};
    if (sector.substr(3, 8) == "EXFAT   ") return "exfat";
    if (sector.substr(3, 8) == "NTFS    ") return "ntfs";
    // FAT names itself in its boot sector: at 54 for FAT12 and FAT16, at 82 for FAT32.
    const bool bootSignature = sector.substr(510, 2) == "\x55\xAA";
    if (bootSignature && (sector.substr(54, 3) == "FAT" || sector.substr(82, 5) == "FAT32")) return "vfat";
    return {};
}

} // namespace quellomir
