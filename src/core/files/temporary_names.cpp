#include "files/temporary_names.h"

#include "files/process_facts.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace quellomir {
namespace {

constexpr std::string_view Prefix = "~quellomir-";
constexpr std::string_view Suffix = ".tmp";

// A writer that holds no lock may be on another machine that shares the drive: only a file
// nobody changed for this long is taken for a leftover.
constexpr std::time_t ForeignWriterSilence = 60 * 60;

const std::string& bootId() {
    static const std::string id = readBootId();
    return id;
}

std::uint64_t ownStart() {
    static const std::uint64_t start = readOwnStart();
    return start;
}

// Seven base-36 digits of an 8.3 name: the writer's boot, pid and start mixed (FNV-1a), then
// stepped by the counter and the attempt, so that two writers rarely draw alike.
std::string shortTemporaryName(unsigned count, unsigned attempt) {
    static const std::uint64_t writer = [] {
        std::uint64_t hash = 0xcbf29ce484222325ull;
        auto mix = [&](std::string_view text) {
            for (const char c : text)
                hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        };
        mix(bootId());
        mix(std::to_string(ownProcessId()));
        mix(std::to_string(ownStart()));
        return hash;
    }();
    constexpr std::uint64_t Names = 78'364'164'096ull; // 36^7
    std::uint64_t value = (writer + count * 0x9E3779B97Full + attempt * 0x5851F42Dull) % Names;
    constexpr char Digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string drawn(7, '0');
    for (int at = 6; at >= 0; --at, value /= 36)
        drawn[static_cast<std::size_t>(at)] = Digits[value % 36];
    return "~QL" + drawn.substr(0, 5) + ".Q" + drawn.substr(5);
}

bool isShortTemporaryName(std::string_view name) {
    if (name.size() != 12 || !name.starts_with("~QL") || name.substr(8, 2) != ".Q") return false;
    for (const std::size_t at : {3, 4, 5, 6, 7, 10, 11})
        if (!((name[at] >= '0' && name[at] <= '9') || (name[at] >= 'A' && name[at] <= 'Z'))) return false;
    return true;
}

} // namespace

std::string temporaryName(unsigned attempt, TemporaryNameForm form) {
    // Unique within the process without a clock: a counter, and the attempt after a clash
    // with a leftover of an earlier process that happened to have the same pid and start.
    static std::atomic<unsigned> counter{0};
    if (form == TemporaryNameForm::Short)
        return shortTemporaryName(counter.fetch_add(1, std::memory_order_relaxed), attempt);
    char name[128];
    std::snprintf(name, sizeof name, "~quellomir-%s-%lx-%llx-%x%02x.tmp", bootId().c_str(), ownProcessId(),
                  static_cast<unsigned long long>(ownStart()),
                  counter.fetch_add(1, std::memory_order_relaxed), attempt & 0xff);
    return name;
}

namespace {

// Takes a run of lowercase hex digits off the front of `text`, at least `fewest` of them and
// at most `most`; whether it could.
bool takeHex(std::string_view& text, std::size_t fewest, std::size_t most) {
    std::size_t digits = 0;
    while (digits < text.size() && digits < most &&
           ((text[digits] >= '0' && text[digits] <= '9') || (text[digits] >= 'a' && text[digits] <= 'f')))
        ++digits;
    if (digits < fewest) return false;
    text.remove_prefix(digits);
    return true;
}

bool take(std::string_view& text, std::string_view part) {
    if (!text.starts_with(part)) return false;
    text.remove_prefix(part.size());
    return true;
}

} // namespace

bool isTemporaryName(std::string_view name) {
    if (isShortTemporaryName(name)) return true;
    // Exactly what temporaryName writes, so that a user's "~quellomir-shopping.tmp" is not one.
    if (!take(name, Prefix) || !name.ends_with(Suffix)) return false;
    name.remove_suffix(Suffix.size());
    const bool boot = take(name, "0-") || (takeHex(name, 8, 8) && take(name, "-"));
    return boot && takeHex(name, 1, 16) && take(name, "-") && takeHex(name, 1, 16) && take(name, "-") &&
           takeHex(name, 3, 10) && name.empty();
}

bool untouchedForAnHour(std::time_t changed) {
    return std::time(nullptr) - changed > ForeignWriterSilence;
}

} // namespace quellomir
