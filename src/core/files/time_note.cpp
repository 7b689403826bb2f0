#include "files/time_note.h"

#include "files/contents.h"
#include "files/write_times.h"

#include <cinttypes>
#include <cstdio>

namespace quellomir {
namespace {
constexpr std::string_view ClaimedWord = "claimed ";

bool isPlainName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos && name != "." && name != "..";
}
} // namespace

std::string timeNoteText(const TimeNote& note) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, "%lld %d\n%lld %016" PRIx64 "\n",
                  static_cast<long long>(note.time.seconds), note.time.nanoseconds,
                  static_cast<long long>(note.size), note.hash);
    return std::string(TimeNoteHeading) + note.name + "\n" + numbers +
           (note.claimedFrom.empty() ? std::string() : std::string(ClaimedWord) + note.claimedFrom + "\n");
}

std::optional<TimeNote> parseTimeNote(std::string_view text) {
    if (!text.starts_with(TimeNoteHeading)) return std::nullopt;
    text.remove_prefix(TimeNoteHeading.size());
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos || end == 0) return std::nullopt;
    TimeNote note;
    note.name = std::string(text.substr(0, end));
    if (note.name.find('/') != std::string::npos || note.name == "." || note.name == "..")
        return std::nullopt;
    std::string_view rest = text.substr(end + 1);
    if (const std::size_t claim = rest.find(ClaimedWord);
        claim != std::string_view::npos && rest.ends_with('\n')) {
        note.claimedFrom = std::string(
            rest.substr(claim + ClaimedWord.size(), rest.size() - 1 - claim - ClaimedWord.size()));
        if (!isPlainName(note.claimedFrom) || note.claimedFrom.find('\n') != std::string::npos)
            return std::nullopt;
        rest = rest.substr(0, claim);
    }
    const std::string numbers(rest);
    long long seconds = 0, size = 0;
    int nanoseconds = 0, consumed = 0;
    std::uint64_t hash = 0;
    if (std::sscanf(numbers.c_str(), "%lld %d\n%lld %16" SCNx64 "\n%n", &seconds, &nanoseconds, &size, &hash,
                    &consumed) != 4 ||
        consumed != static_cast<int>(numbers.size()) || nanoseconds < 0 || nanoseconds >= 1'000'000'000 ||
        size < 0)
        return std::nullopt;
    note.time = {seconds, nanoseconds};
    note.size = size;
    note.hash = hash;
    return note;
}

std::optional<TimeNote> ownTimeNote(FileSystem& fs, Handle& folder, const std::string& name,
                                    bool keepsPermissionBits) {
    std::string text;
    FileFacts facts;
    if (readSmallFile(fs, folder, name, TimeNoteBytes, text, facts) != 0 || facts.owner != fs.runningUser() ||
        facts.links != 1 || (keepsPermissionBits && (facts.mode & 07777) != TimeNoteMode))
        return std::nullopt;
    return parseTimeNote(text);
}

bool claimCutShort(FileSystem& fs, Handle& folder, const TimeNote& note) {
    bool start = false;
    return !note.claimedFrom.empty() && isStartOf(fs, folder, note.name, note.claimedFrom, start) == 0 &&
           start;
}

bool stampedCopyOf(FileSystem& fs, Handle& folder, const TimeNote& note) {
    Handle copy;
    FileFacts facts;
    if (fs.openToRead(&folder, note.name, Follow::No, copy, facts) != 0 || facts.owner != fs.runningUser() ||
        facts.size != note.size || compareWriteTimes(facts.modified, note.time) <= 0)
        return false;
    std::uint64_t hash = 0;
    return hashOfFile(fs, copy, facts, hash) == 0 && hash == note.hash;
}

} // namespace quellomir
