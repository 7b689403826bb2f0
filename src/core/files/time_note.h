#pragma once

#include "fs/file_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quellomir {

// A note a copy leaves beside itself while a drive that stamps renames may have given it the
// time of now: the copy's name, the time it is to have (the provisional one, or its source's
// for a copy flushed before it took the name), and what proves that the file of that name is
// still the copy (its size and a checksum of its bytes), for the next run should this one be
// killed, or fail to set the time, before the time is back.
struct TimeNote {
    std::string name;
    FileTime time;
    std::int64_t size = 0;
    std::uint64_t hash = 0;
    // Written before the run created the name itself and copied its "~" file there (a drive
    // with neither a rename nor a link that refuses to replace): that "~" file's name. A run
    // stopped meanwhile may leave the name holding the first part of that file's bytes.
    std::string claimedFrom{};
};

inline constexpr std::string_view TimeNoteHeading = "quellomir time note\n";

std::string timeNoteText(const TimeNote& note);
// The note a text holds; nothing for any other text, one of an older build's (which named
// no checksum) included.
std::optional<TimeNote> parseTimeNote(std::string_view text);

// The permission bits this program gives its notes.
inline constexpr std::uint32_t TimeNoteMode = 0600;
// A note is a few lines; a copy in the making is read no further than that.
inline constexpr std::size_t TimeNoteBytes = 4096;

// The note `name` of the folder held at `folder`, when it is one a run of this user's wrote:
// the running user's, with one name, holding a note's text, and where the drive keeps
// permission bits (`keepsPermissionBits`), with the ones this program gives its notes.
std::optional<TimeNote> ownTimeNote(FileSystem& fs, Handle& folder, const std::string& name,
                                    bool keepsPermissionBits);

// Whether the file `note.name` of the folder held at `folder` is still the copy `note` was
// written for, with a later time a drive stamped on it: the running user's, of the note's size
// and checksum, and newer than the note's time. An edit since makes it the user's file.
bool stampedCopyOf(FileSystem& fs, Handle& folder, const TimeNote& note);

// Whether the file a claimed note names is the copy its run cut short: the running user's, of
// one name, holding the first bytes of the "~" file the copy was made from and nothing else.
// It is no version of anyone's: the comparison leaves it out, and the sync removes it.
bool claimCutShort(FileSystem& fs, Handle& folder, const TimeNote& note);

} // namespace quellomir
