// quellomir-bench plan: building the plan from two file lists already in memory, the part
// of a comparison that grows with the trees once the drive has answered. Each size is
// run with the sides listed in three kinds of order: the same order (a backup on a drive
// that lists in the order of writing, as FAT and exFAT do); each side's folders, and the
// files in each folder, in an order of their own (two ext4 drives, which list in the
// order of a name hash seeded per drive); and the files of each side in a random order
// of their own (a single folder of a million files on two ext4 drives).

#include "bench_yielder.h"
#include "measure.h"
#include "options.h"
#include "subcommand.h"

#include "compare/build_plan.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <numeric>
#include <random>
#include <sstream>

namespace quellomir::bench {
namespace {

struct PlanFigures {
    double seconds = 0;
    std::uint64_t rows = 0;
    std::uint64_t fingerprint = 0; // of the rows, to see that two builds planned the same
};

enum class Order { Same, FoldersOfTheirOwn, FilesOfTheirOwn };
constexpr std::size_t FilesAFolder = 200;

// Camera-like names, 5 % missing from each side and 5 % newer on side 1; 200 files a
// folder. Both sides are made afresh for each run, as a comparison lists them.
FileList makeSide(std::size_t count, int side, Order kind, std::uint32_t seed) {
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::mt19937 random(seed + side);
    if (kind == Order::FilesOfTheirOwn) std::shuffle(order.begin(), order.end(), random);
    if (kind == Order::FoldersOfTheirOwn) {
        std::vector<std::uint32_t> folders((count + FilesAFolder - 1) / FilesAFolder);
        std::iota(folders.begin(), folders.end(), 0u);
        std::shuffle(folders.begin(), folders.end(), random);
        order.clear();
        for (const std::uint32_t folder : folders) {
            const auto begin = order.size();
            for (std::size_t i = folder * FilesAFolder; i < std::min(count, (folder + 1) * FilesAFolder); ++i)
                order.push_back(std::uint32_t(i));
            std::shuffle(order.begin() + begin, order.end(), random);
        }
    }
    FileList list;
    list.folders.resize((count + FilesAFolder - 1) / FilesAFolder, "/bench/");
    list.reserve(count, count * 20);
    char name[64];
    for (std::size_t at = 0; at < count; ++at) {
        const std::uint32_t i = order[at];
        if (i % 20 == std::uint32_t(side)) continue; // the other side's extra files
        std::snprintf(name, sizeof name, "IMG_%07u_%x.JPG", i, (i * 2654435761u) % 100003u);
        const bool newer = side == 0 && i % 20 == 7;
        list.add(name, std::uint32_t(at / FilesAFolder), {1'600'000'000 + (newer ? 60 : 0), 0});
    }
    return list;
}

PlanFigures buildOnce(std::size_t count, Order order) {
    FileList one = makeSide(count, 0, order, 1);
    FileList two = makeSide(count, 1, order, 1);
    ClockYielder yielder;
    const struct timespec start = now();
    const Plan plan = buildPlan(std::move(one), std::move(two), "/one/", "/two/", yielder);
    PlanFigures figures;
    figures.seconds = secondsSince(start);
    figures.rows = plan.size();
    for (const PlanRow& row : plan.rows())
        figures.fingerprint = figures.fingerprint * 1'000'003 +
                              (std::uint64_t{row.source} << 33 ^ std::uint64_t{row.destination} << 1 ^
                               std::uint64_t(row.sourceSide) ^ std::uint64_t(row.kind) << 63);
    return figures;
}

std::vector<std::size_t> sizesFrom(const std::string& text) {
    std::vector<std::size_t> sizes;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');)
        sizes.push_back(std::stoul(part));
    return sizes;
}

} // namespace

int runPlan(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"runs", "files", "order"});
        if (!options.plain().empty()) {
            std::fprintf(stderr, "plan takes no folders: it makes its lists in memory\n");
            return 2;
        }
        const auto runs = std::max<std::uint64_t>(1, options.number("runs", 3));
        const std::vector<std::size_t> sizes = sizesFrom(options.text("files", "10000,100000,1000000"));
        const std::string wanted = options.text("order", "all");
        const std::pair<std::string, Order> kinds[] = {
            {"same", Order::Same}, {"folders", Order::FoldersOfTheirOwn}, {"files", Order::FilesOfTheirOwn}};
        std::vector<std::pair<std::string, Order>> orders;
        for (const auto& kind : kinds)
            if (wanted == kind.first || wanted == "all") orders.push_back(kind);
        if (orders.empty()) throw std::invalid_argument("--order is same, folders, files or all");

        for (const auto& [label, order] : orders)
            for (const std::size_t count : sizes) {
                PlanFigures best{1e9, 0, 0};
                for (std::uint64_t run = 0; run < runs; ++run) {
                    const PlanFigures figures =
                        inChildProcess<PlanFigures>([&] { return buildOnce(count, order); });
                    if (figures.seconds < best.seconds) best = figures;
                }
                std::printf(
                    "%-7s %8zu files a side: %.3f s, %.3f us a file, %llu rows (fingerprint %016llx)\n",
                    label.c_str(), count, best.seconds, best.seconds * 1e6 / count,
                    static_cast<unsigned long long>(best.rows),
                    static_cast<unsigned long long>(best.fingerprint));
            }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plan: %s\n", error.what());
        return 2;
    }
}

} // namespace quellomir::bench
