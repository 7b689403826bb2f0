#include "files/process_facts.h"

#include <windows.h>

#include <cstdio>

namespace quellomir {
namespace {

constexpr std::uint64_t UnitsPerSecond = 10'000'000; // a FILETIME counts 100 ns
constexpr std::uint64_t SecondsFrom1601To1970 = 11'644'473'600;

std::uint64_t units(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

// Windows offers no id of a boot, so the moment of the boot stands for it: now less the time
// since the boot, in seconds since 1970. Two processes may come a second apart on it; that
// does no harm, as the pid and the start of the process already tell every writer apart.
std::string readBootId() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t sinceBoot = ::GetTickCount64() / 1000;
    const std::uint64_t nowSeconds = units(now) / UnitsPerSecond;
    if (nowSeconds < SecondsFrom1601To1970 + sinceBoot) return "0";
    char id[16];
    std::snprintf(
        id, sizeof id, "%08llx",
        static_cast<unsigned long long>((nowSeconds - SecondsFrom1601To1970 - sinceBoot) & 0xFFFFFFFF));
    return id;
}

unsigned long ownProcessId() {
    return ::GetCurrentProcessId();
}

std::uint64_t readOwnStart() {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return UINT64_MAX;
    return units(created);
}

} // namespace quellomir
