#include "sync/copies_ahead.h"

#include "files/new_file.h"
#include "files/path_text.h"
#include "fs/drive_kinds.h"

#include <algorithm>

namespace quellomir {

CopiesAhead::~CopiesAhead() = default;

void CopiesAhead::makeNewCopies(const std::vector<ResolvedRow>& rows) {
    std::vector<Ahead> aheads;
    std::vector<std::string> sources;
    for (const ResolvedRow& copy : rows) {
        Ahead ahead;
        ahead.row = copy.row;
        ahead.replacing = Replacing::Nothing;
        ahead.timeRule = copy.checks.timeRule;
        RunFolders::ForRow folders(m_folders, copy.checks);
        if (!m_rows
                 .prepare(copy.source, copy.destination, Replacing::Nothing, copy.checks, folders,
                          ahead.options, ahead.folder)
                 .done ||
            !ahead.folder)
            continue; // its turn tells what is wrong
        aheads.push_back(std::move(ahead));
        sources.push_back(copy.source);
    }
    if (aheads.size() < 2) return;
    // The threads touch nothing of the run: the window's turn and the descriptor kept to
    // flush the drive stay on this thread. No copy takes its name here: a row unticked before
    // its turn must never have shown its file under the final name, however briefly.
    std::vector<CopyOptions> threadOptions;
    for (const Ahead& ahead : aheads) {
        CopyOptions options = ahead.options;
        options.progress = nullptr;
        options.stopping = m_threads.stopping();
        options.fileSystem = nullptr;
        threadOptions.push_back(std::move(options));
    }
    m_threads.run(requestsInFlight(m_drives.type(*aheads.front().folder)), aheads.size(), [&](std::size_t i) {
        aheads[i].copy = prepareCopy(m_fs, sources[i], *aheads[i].folder, threadOptions[i]);
    });
    for (Ahead& ahead : aheads) {
        if (!ahead.copy.ready) continue; // made again in its turn, which says why it cannot be
        if (!ahead.options.fileSystem->open())
            if (holdFileSystem(m_fs, *ahead.copy.made, *ahead.options.fileSystem) != 0) {
                discardNewFile(m_fs, *ahead.copy.made);
                continue;
            }
        m_ahead.push_back(std::move(ahead));
    }
    m_threads.passOnHeldStop();
}

void CopiesAhead::makeReplacements(const std::vector<ResolvedRow>& rows) {
    std::vector<std::uint64_t> devices;
    m_rows.setHeldChecksLater(true);
    struct ChecksNowAgain {
        RowCopy& rows;
        ~ChecksNowAgain() { rows.setHeldChecksLater(false); }
    } checksNowAgain{m_rows};
    unsigned heldInFlight = 1;
    for (const ResolvedRow& replacement : rows) {
        const std::string& target = replacement.destination;
        RunFolders::ForRow folders(m_folders, replacement.checks);
        Ahead ahead;
        ahead.row = replacement.row;
        ahead.timeRule = replacement.checks.timeRule;
        if (!m_rows
                 .prepare(replacement.source, target, Replacing::OlderFile, replacement.checks, folders,
                          ahead.options, ahead.folder)
                 .done ||
            !ahead.folder)
            continue; // its turn tells what is wrong
        // A file that may be a stopped run's copy is read below, with the others of the batch.
        if (m_rows.awaitsHeldCheck(target)) {
            heldInFlight = std::max(heldInFlight, requestsInFlight(m_drives.type(*ahead.folder)));
            m_inTurn.push_back(replacement.row);
            continue;
        }
        // What a stopped run copied is finished in its turn, and so is a replacement on a drive
        // that one flush does not reach: neither is looked at again before its turn.
        if (ahead.options.sourceHeldAlready || !flushReachesEveryFile(m_drives.type(*ahead.folder))) {
            m_inTurn.push_back(replacement.row);
            continue;
        }
        ahead.copy = prepareCopy(m_fs, replacement.source, *ahead.folder, ahead.options);
        if (!ahead.copy.ready) continue; // made again in its turn, which says why it cannot be
        if (std::find(devices.begin(), devices.end(), ahead.folder->device) == devices.end())
            devices.push_back(ahead.folder->device);
        m_ahead.push_back(std::move(ahead));
    }
    m_rows.checkHeldFiles(m_threads, heldInFlight);
    // One flush for all: each copy is on the disk before it replaces anything.
    const std::vector<int> errors = m_end.flushFileSystems(devices);
    for (Ahead& ahead : m_ahead) {
        const auto device = std::find(devices.begin(), devices.end(), ahead.folder->device) - devices.begin();
        if (device == static_cast<std::ptrdiff_t>(devices.size())) continue;
        if (int error = errors[static_cast<std::size_t>(device)]) {
            discardNewFile(m_fs, *ahead.copy.made);
            ahead.copy.ready = false;
            ahead.copy.failure = CopyResult::failure(error);
        }
    }
    m_threads.passOnHeldStop();
}

bool CopiesAhead::prepared(std::size_t row) const {
    if (std::find(m_inTurn.begin(), m_inTurn.end(), row) != m_inTurn.end()) return true;
    return std::any_of(m_ahead.begin(), m_ahead.end(), [&](const Ahead& ahead) { return ahead.row == row; });
}

void CopiesAhead::passOver(std::size_t row) {
    std::erase_if(m_inTurn, [&](std::size_t inTurn) { return inTurn <= row; });
    while (!m_ahead.empty() && m_ahead.front().row <= row)
        m_ahead.pop_front();
}

std::optional<CopyResult> CopiesAhead::place(const ResolvedRow& row, Replacing replacing) {
    if (row.row > 0) passOver(row.row - 1);
    std::erase(m_inTurn, row.row);
    if (m_ahead.empty() || m_ahead.front().row != row.row || m_ahead.front().replacing != replacing)
        return std::nullopt;
    Ahead ahead = std::move(m_ahead.front());
    m_ahead.pop_front();
    CopyResult placed = placeCopy(m_fs, ahead.copy, *ahead.folder, row.name, ahead.options);
    return m_rows.record(row.row, row.destination, ahead.options, ahead.folder, ahead.timeRule,
                         std::move(placed));
}

} // namespace quellomir
