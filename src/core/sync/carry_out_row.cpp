#include "sync/carry_out_row.h"

#include "files/path_text.h"
#include "files/utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <string>
#include <unordered_set>
#include <vector>

namespace quellomir {
namespace {

// How many rows are made ahead of their turn at most: few enough that a power cut loses
// little work and the window gets its turn, enough that one flush or one round of threads
// serves many rows.
constexpr std::size_t BatchRows = 64;
constexpr std::uint64_t BatchBytes = 64 << 20;

// What every row asks of its copy: its source as the comparison saw it, and a destination
// within the other chosen folder.
RowChecks checksOf(const Plan& plan, std::size_t row) {
    const Side destinationSide = otherSide(plan.rows().at(row).sourceSide);
    const ListedFile& source = plan.sourceFile(row);
    RowChecks checks;
    checks.destinationSide = destinationSide;
    checks.top = plan.topFolder(destinationSide);
    checks.topPath = plan.folder(destinationSide);
    checks.followSource = source.viaLink ? Follow::Yes : Follow::No;
    checks.plannedSourceTime = source.modified();
    checks.plannedSourceSize = static_cast<std::int64_t>(source.size());
    // A pair with a file on FAT was compared with FAT's tolerance.
    if (plan.fatTimes(Side::Folder1) || plan.fatTimes(Side::Folder2)) checks.timeRule = TimeRule::FatTolerant;
    checks.makeFolders = plan.pairing() == Pairing::ByPlace && plan.rows().at(row).kind == RowKind::Copy;
    return checks;
}

// Whether `folder` lists an entry of exactly `name`. When a new name is refused although
// no entry holds it, the drive took another spelling of it for the same name: it ignores
// letter case (FAT, exFAT, a case-folding folder), and what is there is another file.
// `path` as a drive that ignores letter case sees it, near enough that rows such a drive
// would take for one name are kept apart: copies made ahead take their names in any order,
// and of two names that differ only in case the first in the list is to get its name.
std::u32string foldedCase(std::string_view path) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    std::u32string folded;
    folded.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const Utf8Character character = decodeUtf8(path, i);
        if (character.length == 0) { // not UTF-8: the byte as it is
            folded += char32_t(static_cast<unsigned char>(path[i]));
            ++i;
            continue;
        }
        const char32_t point = character.point;
        folded += utf8           ? char32_t(towlower_l(wint_t(point), utf8))
                  : point < 0x80 ? char32_t(std::tolower(int(point)))
                                 : point;
        i += character.length;
    }
    return folded;
}

// The rows from `row` on that can be made ahead of their turn: ticked rows of `kind` in a
// row, none touching a name another of them touches, nor one this run wrote, nor one made
// ahead already. Any other row ends the batch, so that each row still finds what a run in
// list order would have left; so does a big file, which is copied in its turn on its own.
void makeRowsAhead(const Plan& plan, std::size_t row, RowKind kind, SyncSession& session) {
    std::vector<SyncSession::RowAhead> batch;
    std::unordered_set<std::u32string> touched;
    std::uint64_t bytes = 0;
    for (std::size_t next = row; next < plan.size() && batch.size() < BatchRows; ++next) {
        const PlanRow& r = plan.rows()[next];
        if (r.kind != kind || !plan.tickedNow(next) || r.outcome != Outcome::Pending ||
            session.prepared(next))
            break;
        std::string source = plan.sourceText(next);
        std::string destination = kind == RowKind::Copy
                                      ? joinPath(plan.destinationText(next), GetFileName(source))
                                      : plan.destinationText(next);
        if (session.wrote(source) || session.wrote(destination)) break;
        std::u32string foldedSource = foldedCase(source), foldedDestination = foldedCase(destination);
        if (touched.contains(foldedSource) || touched.contains(foldedDestination)) break;
        bytes += plan.sourceFile(next).size();
        if (bytes > BatchBytes) break;
        RowChecks checks = checksOf(plan, next);
        if (kind == RowKind::Overwrite) checks.plannedDestinationTime = plan.destinationFile(next).modified();
        touched.insert(std::move(foldedSource));
        touched.insert(std::move(foldedDestination));
        batch.push_back({next, std::move(source), std::move(destination), checks});
    }
    if (batch.size() < 2) return;
    if (kind == RowKind::Copy)
        session.prepareNewCopies(batch);
    else
        session.prepareReplacements(batch);
}

// Why a copy to a free name found it taken: a folder of that name, a name that differs only
// in letter case on a drive that takes it for the same, or else a file that appeared.
std::string_view takenNameReason(FileSystem& fs, const std::string& folder, std::string_view name) {
    bool folderThere = false, exact = false, otherCase = false;
    const std::u32string folded = foldedCase(name);
    fs.listFolder(folder, stat_kinds::None, [&](const FolderEntry& entry) {
        if (entry.name == name) {
            exact = true;
            folderThere = entry.kind == EntryKind::Folder;
        } else if (!otherCase && foldedCase(entry.name) == folded) {
            otherCase = true;
        }
    });
    if (folderThere) return FolderInTheWayReason;
    return !exact && otherCase ? CaseBlindReason : AppearedReason;
}

CopyResult carryOutCopy(const Plan& plan, std::size_t row, const RowPaths& paths, SyncSession& session) {
    const std::string& source = paths.source;
    const std::string& destination = paths.destination;
    if (session.rowsAhead() && !session.wrote(destination) && !session.prepared(row))
        makeRowsAhead(plan, row, RowKind::Copy, session);
    // What an earlier row wrote is replaced as planned. Anything else at that name (a link
    // too) appeared since the comparison: the naming refuses to replace it, in the same
    // step, so a file that appears during the copy is kept as well.
    const bool replaces = session.wrote(destination);
    CopyResult result =
        session.copy(row, source, destination,
                     replaces ? SyncSession::Replacing::ThisRunsCopy : SyncSession::Replacing::Nothing,
                     checksOf(plan, row));
    if (!replaces && !result.done && result.error == EEXIST)
        return CopyResult::failure(
            std::string(takenNameReason(session.fs(), plan.destinationText(row), GetFileName(source))));
    return result;
}

CopyResult carryOutOverwrite(const Plan& plan, std::size_t row, const RowPaths& paths, SyncSession& session) {
    const std::string& source = paths.source;
    const std::string& destination = paths.destination;
    RowChecks checks = checksOf(plan, row);
    const bool replacesOwnCopy = session.wrote(destination);
    if (!replacesOwnCopy) checks.plannedDestinationTime = plan.destinationFile(row).modified();
    if (session.rowsAhead() && !replacesOwnCopy && !session.prepared(row))
        makeRowsAhead(plan, row, RowKind::Overwrite, session);
    return session.copy(
        row, source, destination,
        replacesOwnCopy ? SyncSession::Replacing::ThisRunsCopy : SyncSession::Replacing::OlderFile, checks);
}

} // namespace

std::string rowDestination(const Plan& plan, std::size_t row, RowAction action, const std::string& source) {
    return action == RowAction::Copy ? joinPath(plan.destinationText(row), GetFileName(source))
                                     : plan.destinationText(row);
}

RowPaths rowPaths(const Plan& plan, std::size_t row, RowAction action) {
    RowPaths paths;
    paths.source = plan.sourceText(row);
    paths.destination = rowDestination(plan, row, action, paths.source);
    return paths;
}

CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, SyncSession& session) {
    return carryOutRow(plan, row, action, rowPaths(plan, row, action), session);
}

CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, const RowPaths& paths,
                       SyncSession& session) {
    if (action == RowAction::Neither) return CopyResult::failure(std::string(NeitherReason));
    // What the plan shows for this row is not there any more: the copy would carry another
    // version of the file under the row's text, and which one would depend on the order the
    // disk lists its folders in.
    if (session.wrote(paths.source)) return CopyResult::failure(std::string(ReplacedEarlierReason));
    return action == RowAction::Copy ? carryOutCopy(plan, row, paths, session)
                                     : carryOutOverwrite(plan, row, paths, session);
}

} // namespace quellomir
