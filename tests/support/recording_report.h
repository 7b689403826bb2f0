#pragma once

#include "handler/error_report.h"

#include <string>
#include <vector>

namespace quellomir::testing {

// An error report that keeps what it was given instead of showing a box.
class RecordingReport final : public ErrorReport {
  public:
    struct Entry {
        std::string description;
        std::string location;
        int line;
    };

    void report(const std::string& description, const std::string& location, int line) override {
        entries.push_back({description, location, line});
    }

    std::vector<int> lines() const {
        std::vector<int> result;
        for (const Entry& entry : entries)
            result.push_back(entry.line);
        return result;
    }

    std::vector<Entry> entries;
};

} // namespace quellomir::testing
