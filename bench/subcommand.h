#pragma once

#include <span>
#include <string_view>

namespace quellomir::bench {

// One subcommand of quellomir-bench: `quellomir-bench NAME ARGS...`. Each lives in a
// file of its own and is listed once in bench_main.cpp.
struct Subcommand {
    std::string_view name;
    std::string_view usage;
    int (*run)(std::span<char* const> arguments);
};

int runGenerate(std::span<char* const> arguments);
int runScan(std::span<char* const> arguments);
int runCompare(std::span<char* const> arguments);
int runSync(std::span<char* const> arguments);
int runPlan(std::span<char* const> arguments);
int runResume(std::span<char* const> arguments);
int runReport(std::span<char* const> arguments);

} // namespace quellomir::bench
