#include "compare/row_details.h"

#include "files/date_text_format.h"
#include "files/local_date.h"

#include <cstdio>

namespace quellomir {
namespace {

// The folder of a listed file below its side's chosen folder, "" for the folder itself.
std::string_view relativeFolder(const Plan& plan, Side side, std::uint32_t file) {
    const FileList& files = plan.files(side);
    const std::string& folder = files.folders[files.file(file).folder];
    const std::string& top = plan.folder(side);
    std::string_view relative(folder);
    if (relative.substr(0, top.size()) == top) relative.remove_prefix(top.size());
    return relative;
}

std::string plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string withThousands(std::uint64_t count) {
    const std::string digits = std::to_string(count);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string timeText(const DateTextFormat& format, FileTime time) {
    if (!time.known()) return "time unknown";
    return format.text(FileTimeToLocalDate(WindowsFileTime(time)));
}

std::string fileLine(const Plan& plan, const DateTextFormat& format, Side side, std::uint32_t file) {
    const ListedFile& listed = plan.files(side).file(file);
    return std::string(side == Side::Folder1 ? "Folder 1: " : "Folder 2: ") + relativePath(plan, side, file) +
           "\n    " + sizeText(listed.size()) + ", " + timeText(format, listed.modified());
}

} // namespace

std::string relativePath(const Plan& plan, Side side, std::uint32_t file) {
    std::string path(relativeFolder(plan, side, file));
    path += plan.files(side).name(file);
    return path;
}

bool pairsDifferentSubfolders(const Plan& plan, std::size_t row) {
    const PlanRow& r = plan.rows().at(row);
    if (r.kind != RowKind::Overwrite) return false;
    return relativeFolder(plan, r.sourceSide, r.source) !=
           relativeFolder(plan, otherSide(r.sourceSide), r.destination);
}

bool nameRepeats(const Plan& plan, std::size_t row) {
    const PlanRow& r = plan.rows().at(row);
    return plan.nameRepeated(r.sourceSide, r.source) ||
           (r.kind == RowKind::Overwrite && plan.nameRepeated(otherSide(r.sourceSide), r.destination));
}

std::string spanText(std::int64_t seconds) {
    if (seconds < 0) seconds = -seconds;
    constexpr std::int64_t Minute = 60, Hour = 60 * Minute, Day = 24 * Hour, Year = 365 * Day;
    if (seconds >= Year) return plural(std::uint64_t(seconds / Year), "year", "years");
    if (seconds >= Day) return plural(std::uint64_t(seconds / Day), "day", "days");
    if (seconds >= Hour) return plural(std::uint64_t(seconds / Hour), "hour", "hours");
    if (seconds >= Minute) return plural(std::uint64_t(seconds / Minute), "minute", "minutes");
    return plural(std::uint64_t(seconds), "second", "seconds");
}

std::string sizeText(std::uint64_t bytes) {
    if (bytes < 1000) return plural(bytes, "byte", "bytes");
    static const char* const units[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes) / 1000;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(units)) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 99.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

std::string rowDetails(const Plan& plan, std::size_t row) {
    const PlanRow& r = plan.rows().at(row);
    const DateTextFormat format;
    const Side to = otherSide(r.sourceSide);
    std::string details = fileLine(plan, format, r.sourceSide, r.source);
    if (r.kind == RowKind::Copy) {
        details += std::string("\nto the top folder of ") + (to == Side::Folder1 ? "Folder 1" : "Folder 2");
    } else {
        details += "\n" + fileLine(plan, format, to, r.destination);
        const std::int64_t newer =
            plan.sourceFile(row).modified().seconds - plan.destinationFile(row).modified().seconds;
        details += "\nnewer by " + spanText(newer);
    }
    if (pairsDifferentSubfolders(plan, row))
        details += "\n\u26a0 paired by name only: " + relativePath(plan, r.sourceSide, r.source) +
                   " will replace " + relativePath(plan, to, r.destination);
    if (nameRepeats(plan, row))
        details += "\n\u26a0 the name " + std::string(plan.files(r.sourceSide).name(r.source)) +
                   " occurs more than once: this row may pair files that only share a name";
    if (wantsALook(plan, row)) details += "\nRight-click the plan to pair files by their place instead.";
    return details;
}

PlanSummary summarizePlan(const Plan& plan) {
    PlanSummary summary;
    summary.byPlace = plan.pairing() == Pairing::ByPlace;
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const PlanRow& r = plan.rows()[row];
        if (r.kind == RowKind::Copy) {
            ++summary.copies;
        } else {
            ++summary.overwrites;
            if (pairsDifferentSubfolders(plan, row)) ++summary.acrossSubfolders;
        }
        summary.bytes += plan.files(r.sourceSide).file(r.source).size();
    }
    return summary;
}

std::string summaryText(const PlanSummary& summary) {
    const std::size_t rows = summary.copies + summary.overwrites;
    if (rows == 0) return "0 rows: the folders are in step";
    std::string text = withThousands(rows) + (rows == 1 ? " row: " : " rows: ") +
                       withThousands(summary.copies) + (summary.copies == 1 ? " copy, " : " copies, ") +
                       withThousands(summary.overwrites) +
                       (summary.overwrites == 1 ? " overwrite" : " overwrites");
    if (summary.acrossSubfolders > 0)
        text += " (" + withThousands(summary.acrossSubfolders) +
                " across subfolders; pair by place from the plan's menu)";
    return text + ", " + sizeText(summary.bytes) + (summary.byPlace ? ", paired by place" : "");
}

} // namespace quellomir
