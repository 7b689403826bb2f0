#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quellomir::bench {

// What a sync stopped part way leaves the next one to do, as whole processes.
struct ResumeFigures {
    struct Stop {
        double share = 0; // of the whole run's time, when the run was killed
        std::vector<double> nextRunSeconds;
        std::vector<double> copiesLeft;
    };
    std::size_t files = 0;
    std::vector<double> wholeRuns;
    std::vector<Stop> stops;
};

// Each round syncs `folder1` into a fresh folder of the empty `scratch` with
// `quellomir sync --quiet [extraArguments]`, then for each share of that run's time starts
// the same sync into another fresh folder, kills it (SIGKILL) when the share has passed, and
// times the next sync into that folder. The first round warms the cache and is not counted.
// Everything made in `scratch` is removed at the end.
ResumeFigures measureResume(const std::string& folder1, const std::string& scratch, std::uint64_t rounds,
                            const std::vector<double>& shares,
                            const std::vector<std::string>& extraArguments);

} // namespace quellomir::bench
