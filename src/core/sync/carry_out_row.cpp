#include "sync/carry_out_row.h"

#include "files/path_text.h"
#include "sync/normalize_backslashes.h"

namespace quellomir {
namespace {

bool sameTime(FileTime a, FileTime b) {
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

// Whether `path` still has the last-write time the comparison saw. A file that cannot be
// reached any more has changed too.
bool unchanged(FileSystem& fs, const std::string& path, FileTime seen) {
    FileFacts facts;
    return fs.stat(NormalizeBackslashes(path), Follow::Yes, facts) == 0 && sameTime(facts.modified, seen);
}

CopyResult carryOutCopy(Plan& plan, std::size_t row, SyncSession& session) {
    const std::string source = plan.sourceText(row);
    const std::string destination = plan.destinationText(row) + GetFileName(source);
    // Not following a link: a link of that name is a file of that name.
    FileFacts facts;
    const bool exists = session.fs().stat(NormalizeBackslashes(destination), Follow::No, facts) == 0;
    if (exists && !session.wrote(destination)) return CopyResult::failure(std::string(AppearedReason));
    return session.copy(row, source, destination, exists);
}

CopyResult carryOutOverwrite(Plan& plan, std::size_t row, SyncSession& session) {
    const std::string source = plan.sourceText(row);
    const std::string destination = plan.destinationText(row);
    // A source that is gone is left for the copy to report as missing.
    FileFacts facts;
    const bool sourceChanged = !session.wrote(source) &&
                               session.fs().stat(NormalizeBackslashes(source), Follow::Yes, facts) == 0 &&
                               !sameTime(facts.modified, plan.sourceFile(row).modified);
    const bool destinationChanged = !session.wrote(destination) &&
                                    !unchanged(session.fs(), destination, plan.destinationFile(row).modified);
    if (sourceChanged || destinationChanged) return CopyResult::failure(std::string(ChangedReason));
    return session.copy(row, source, destination, true);
}

} // namespace

CopyResult carryOutRow(Plan& plan, std::size_t row, RowAction action, SyncSession& session) {
    switch (action) {
    case RowAction::Copy:
        return carryOutCopy(plan, row, session);
    case RowAction::Overwrite:
        return carryOutOverwrite(plan, row, session);
    case RowAction::Neither:
        break;
    }
    return CopyResult::failure(std::string(NeitherReason));
}

} // namespace quellomir
