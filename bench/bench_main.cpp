// quellomir-bench: the tree generator and the benchmarks of the core, each printing its
// figures beside those of a standard tool on the same data in the same run.

#include "subcommand.h"

#include <cstdio>
#include <cstring>

using namespace quellomir::bench;

namespace {

constexpr Subcommand Subcommands[] = {
    {"generate",
     "generate OUT [--files N] [--folders N] [--depth N] [--repeated SHARE] [--missing SHARE]\n"
     "         [--extra SHARE] [--newer SHARE] [--bytes N] [--seed N]",
     runGenerate},
    {"scan", "scan DIR [--runs N] [--yield 0|1]", runScan},
    {"compare",
     "compare DIR1 DIR2 [--runs N] [--rsync 0|1] [--cold 0|1] [--latency-us N] [--attr-timeout S] "
     "[--by-place 0|1] [--threads "
     "N]",
     runCompare},
    {"sync", "sync DIR1 DIR2 [--runs N] [--older 0|1] [--keep 0|1] [--rsync 0|1] [--latency-us N]", runSync},
    {"plan", "plan [--files N,N,...] [--order same|folders|files|all] [--runs N]", runPlan},
    {"resume", "resume DIR1 DIR2 [--runs N] [--stop-at SHARE,SHARE,...]", runResume},
    {"report", "report [WORK] [--rounds N] [--engine 0|1]", runReport},
};

int usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Subcommand& command : Subcommands)
        std::fprintf(stderr, "  quellomir-bench %.*s\n", int(command.usage.size()), command.usage.data());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    for (const Subcommand& command : Subcommands)
        if (command.name == argv[1]) return command.run(std::span<char* const>(argv + 2, argv + argc));
    return usage();
}
