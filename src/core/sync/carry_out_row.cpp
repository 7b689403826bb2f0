#include "sync/carry_out_row.h"

#include "files/letter_case.h"
#include "files/path_text.h"
#include "files/utf8.h"
#include "sync/normalize_backslashes.h"

#include <algorithm>
#include <cerrno>
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
    std::u32string folded;
    folded.reserve(path.size());
    for (std::size_t i = 0; i < path.size();) {
        const Utf8Character character = decodeUtf8(path, i);
        if (character.length == 0) { // not UTF-8: the byte as it is
            folded += char32_t(static_cast<unsigned char>(path[i]));
            ++i;
            continue;
        }
        folded += lowerCaseLetter(character.point);
        i += character.length;
    }
    return folded;
}

// The rows from `first` on that can be made ahead of their turn: ticked rows of `kind` in a
// row, none touching a name another of them touches, nor one this run wrote, nor one made
// ahead already. Any other row ends the batch, so that each row still finds what a run in
// list order would have left; so does a big file, which is copied in its turn on its own.
// `first` is the row whose turn it is, resolved already.
void makeRowsAhead(const Plan& plan, const ResolvedRow& first, RowKind kind, SyncSession& session) {
    std::vector<ResolvedRow> batch;
    std::unordered_set<std::u32string> touched;
    std::uint64_t bytes = 0;
    for (std::size_t next = first.row; next < plan.size() && batch.size() < BatchRows; ++next) {
        const PlanRow& r = plan.rows()[next];
        if (r.kind != kind || !plan.tickedNow(next) || r.outcome != Outcome::Pending ||
            session.prepared(next))
            break;
        ResolvedRow ahead =
            next == first.row
                ? first
                : resolveRow(plan, next, kind == RowKind::Copy ? RowAction::Copy : RowAction::Overwrite);
        if (session.wrote(ahead.source) || session.wrote(ahead.destination)) break;
        std::u32string foldedSource = foldedCase(ahead.source),
                       foldedDestination = foldedCase(ahead.destination);
        if (touched.contains(foldedSource) || touched.contains(foldedDestination)) break;
        bytes += plan.sourceFile(next).size();
        if (bytes > BatchBytes) break;
        touched.insert(std::move(foldedSource));
        touched.insert(std::move(foldedDestination));
        batch.push_back(std::move(ahead));
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

CopyResult carryOutCopy(const Plan& plan, const ResolvedRow& row, SyncSession& session) {
    if (session.rowsAhead() && !session.wrote(row.destination) && !session.prepared(row.row))
        makeRowsAhead(plan, row, RowKind::Copy, session);
    // What an earlier row wrote is replaced as planned. Anything else at that name (a link
    // too) appeared since the comparison: the naming refuses to replace it, in the same
    // step, so a file that appears during the copy is kept as well.
    const bool replaces = session.wrote(row.destination);
    CopyResult result =
        session.copy(row, replaces ? SyncSession::Replacing::ThisRunsCopy : SyncSession::Replacing::Nothing);
    if (!replaces && !result.done && result.error == EEXIST)
        return CopyResult::failure(std::string(takenNameReason(session.fs(), row.folder, row.name)));
    return result;
}

CopyResult carryOutOverwrite(const Plan& plan, const ResolvedRow& row, SyncSession& session) {
    if (session.wrote(row.destination)) {
        // What this run wrote there is replaced whatever its time.
        ResolvedRow own = row;
        own.checks.plannedDestinationTime.reset();
        return session.copy(own, SyncSession::Replacing::ThisRunsCopy);
    }
    if (session.rowsAhead() && !session.prepared(row.row))
        makeRowsAhead(plan, row, RowKind::Overwrite, session);
    return session.copy(row, SyncSession::Replacing::OlderFile);
}

} // namespace

ResolvedRow resolveRow(const Plan& plan, std::size_t row, RowAction action, const std::string& sourceText) {
    ResolvedRow resolved;
    resolved.row = row;
    resolved.action = action;
    resolved.source = NormalizeBackslashes(sourceText);
    resolved.destination = NormalizeBackslashes(
        action == RowAction::Copy ? joinPath(plan.destinationText(row), GetFileName(sourceText))
                                  : plan.destinationText(row));
    resolved.folder = GetParentFolder(resolved.destination);
    resolved.name = GetFileName(resolved.destination);
    resolved.checks = checksOf(plan, row);
    if (action == RowAction::Overwrite)
        resolved.checks.plannedDestinationTime = plan.destinationFile(row).modified();
    return resolved;
}

ResolvedRow resolveRow(const Plan& plan, std::size_t row, RowAction action) {
    return resolveRow(plan, row, action, plan.sourceText(row));
}

CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, SyncSession& session) {
    if (action == RowAction::Neither) return CopyResult::failure(std::string(NeitherReason));
    return carryOutRow(plan, resolveRow(plan, row, action), session);
}

CopyResult carryOutRow(const Plan& plan, const ResolvedRow& row, SyncSession& session) {
    if (row.action == RowAction::Neither) return CopyResult::failure(std::string(NeitherReason));
    // What the plan shows for this row is not there any more: the copy would carry another
    // version of the file under the row's text, and which one would depend on the order the
    // disk lists its folders in.
    if (session.wrote(row.source)) return CopyResult::failure(std::string(ReplacedEarlierReason));
    return row.action == RowAction::Copy ? carryOutCopy(plan, row, session)
                                         : carryOutOverwrite(plan, row, session);
}

} // namespace quellomir
