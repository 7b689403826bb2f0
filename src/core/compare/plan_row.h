#pragma once

#include <cstdint>

namespace quellomir {

enum class Side : std::uint8_t { Folder1, Folder2 };

constexpr Side otherSide(Side side) {
    return side == Side::Folder1 ? Side::Folder2 : Side::Folder1;
}

// Which folders of a comparison lie on FAT, whose times are kept in local time and to two
// seconds: their times were compared with tolerance, and a copy onto such a folder gets
// a time that compares as equal to its source.
struct FatTimes {
    bool folder1 = false;
    bool folder2 = false;
    bool either() const { return folder1 || folder2; }
};

// How a comparison pairs the files of the two sides: by name alone, wherever in the folders
// they lie (copies go into the other side's top folder); or by their place, the path below
// the chosen folder (copies go into the same subfolder on the other side).
enum class Pairing : std::uint8_t { ByName, ByPlace };

enum class RowKind : std::uint8_t {
    Copy,      // the source's name is missing on the other side: copy into its top folder
    Overwrite, // the source replaces an older file of the same name on the other side
};

// What the sync run made of a row; a plan fresh from the comparison is all Pending.
enum class Outcome : std::uint8_t { Pending, Done, Failed };

// One planned copy. Files are named by their index in the plan's file lists rather than
// by path, so a row stays at 16 bytes and still reaches the names, folders and the
// last-write times seen at comparison, which the sync run checks before it acts.
struct PlanRow {
    std::uint32_t source = 0;      // in the source side's file list
    std::uint32_t destination = 0; // overwrite rows: the older file, in the other side's list
    std::uint32_t reason = 0;      // failed rows: which of the plan's failure reasons
    RowKind kind = RowKind::Copy;
    Side sourceSide = Side::Folder1;
    Outcome outcome = Outcome::Pending;
    bool checked = false;

    bool operator==(const PlanRow&) const = default;
};

static_assert(sizeof(PlanRow) == 16, "a million rows should cost 16 MB, not more");

} // namespace quellomir
