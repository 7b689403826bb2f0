#include "sync/carry_out_row.h"

#include "files/path_text.h"
#include "sync/normalize_backslashes.h"

#include <cerrno>

namespace quellomir {
namespace {

// Whether `path` still has the last-write time the comparison saw. A file that cannot be
// reached any more has changed too.
bool unchanged(FileSystem& fs, const std::string& path, FileTime seen) {
    FileFacts facts;
    return fs.stat(NormalizeBackslashes(path), Follow::Yes, facts) == 0 && facts.modified == seen;
}

CopyResult carryOutCopy(const Plan& plan, std::size_t row, SyncSession& session) {
    const std::string source = plan.sourceText(row);
    const std::string destination = plan.destinationText(row) + GetFileName(source);
    // What an earlier row wrote is replaced as planned. Anything else at that name (a link
    // too) appeared since the comparison: the naming refuses to replace it, in the same
    // step, so a file that appears during the copy is kept as well.
    const bool replaces = session.wrote(destination);
    CopyResult result =
        session.copy(row, source, destination,
                     replaces ? SyncSession::Replacing::ThisRunsCopy : SyncSession::Replacing::Nothing);
    if (!replaces && !result.done && result.error == EEXIST)
        return CopyResult::failure(std::string(AppearedReason));
    return result;
}

CopyResult carryOutOverwrite(const Plan& plan, std::size_t row, SyncSession& session) {
    const std::string source = plan.sourceText(row);
    const std::string destination = plan.destinationText(row);
    // A source that is gone is left for the copy to report as missing.
    FileFacts facts;
    const bool sourceChanged = !session.wrote(source) &&
                               session.fs().stat(NormalizeBackslashes(source), Follow::Yes, facts) == 0 &&
                               facts.modified != plan.sourceFile(row).modified;
    const bool replacesOwnCopy = session.wrote(destination);
    const bool destinationChanged =
        !replacesOwnCopy && !unchanged(session.fs(), destination, plan.destinationFile(row).modified);
    if (sourceChanged || destinationChanged) return CopyResult::failure(std::string(ChangedReason));
    return session.copy(row, source, destination,
                        replacesOwnCopy ? SyncSession::Replacing::ThisRunsCopy
                                        : SyncSession::Replacing::OlderFile);
}

} // namespace

CopyResult carryOutRow(const Plan& plan, std::size_t row, RowAction action, SyncSession& session) {
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
