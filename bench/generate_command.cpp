#include "options.h"
#include "subcommand.h"
#include "tree_generator.h"

#include <chrono>
#include <cstdio>
#include <exception>

namespace quellomir::bench {

int runGenerate(std::span<char* const> arguments) {
    try {
        Options options(arguments, {"files", "folders", "depth", "repeated", "missing", "extra", "newer",
                                    "bytes", "seed"});
        if (options.plain().size() != 1) {
            std::fprintf(stderr, "generate wants one output folder\n");
            return 2;
        }
        TreeShape shape;
        shape.files = options.number("files", shape.files);
        shape.folders = options.number("folders", shape.folders);
        shape.depth = options.number("depth", shape.depth);
        shape.repeated = options.share("repeated", shape.repeated);
        shape.missing = options.share("missing", shape.missing);
        shape.extra = options.share("extra", shape.extra);
        shape.newer = options.share("newer", shape.newer);
        shape.bytes = options.number("bytes", shape.bytes);
        shape.seed = options.number("seed", shape.seed);

        auto start = std::chrono::steady_clock::now();
        GeneratedTrees made = generateTrees(options.plain()[0], shape);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("folders %llu per side, side1 %llu files, side2 %llu files, %.1f s\n",
                    static_cast<unsigned long long>(made.folders),
                    static_cast<unsigned long long>(made.side1Files),
                    static_cast<unsigned long long>(made.side2Files), seconds);
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "generate: %s\n", failure.what());
        return 1;
    }
}

} // namespace quellomir::bench
