#include "sync/run_folders.h"

#include "files/error_text.h"
#include "files/path_text.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "sync/keep_in_trash.h"
#include "sync/sync_reasons.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace quellomir {
namespace {

// Folders held open at once, between the copies made ahead; a run that writes into more
// opens them again as it needs.
constexpr std::size_t HeldFolders = 64;

} // namespace

RunFolders::RunFolders(FileSystem& fs)
    : m_fs(fs), m_earlierRuns(fs, [this](WriteFolder& folder) {
          CopyResult failure;
          return trashFor(folder, failure);
      }) {}

RunFolders::OpenFolder* RunFolders::open(const std::string& path, CopyResult& failure) {
    if (auto found = m_folders.find(path); found != m_folders.end()) return found->second.get();
    auto open = std::make_unique<OpenFolder>();
    if (int error = openWriteFolder(m_fs, path, open->folder)) {
        failure = CopyResult::failure(error);
        return nullptr;
    }
    return m_folders.emplace(path, std::move(open)).first->second.get();
}

void RunFolders::letGoOfMany() {
    if (m_folders.size() >= HeldFolders) m_folders.clear();
}

std::optional<FolderIdentity> RunFolders::top(const RowChecks& checks) {
    if (checks.top.known) return checks.top;
    const int side = checks.destinationSide == Side::Folder1 ? 0 : 1;
    std::optional<FolderIdentity>& top = m_tops[side];
    if (!top) {
        // Held open for the whole run: a drive that numbers a folder anew once the kernel
        // forgets it cannot forget this one, nor the folders between it and a destination
        // held open too, while the rows are checked against it.
        if (openWriteFolder(m_fs, std::string(checks.topPath), m_heldTops[side]) != 0) return std::nullopt;
        top = FolderIdentity{m_heldTops[side].device, m_heldTops[side].inode, true};
    }
    return top;
}

TrashCan* RunFolders::trashFor(WriteFolder& folder, CopyResult& failure) {
    auto found = std::find_if(m_trashes.begin(), m_trashes.end(),
                              [&](const auto& trash) { return trash->device == folder.device; });
    if (found == m_trashes.end()) {
        auto trash = std::make_unique<Trash>();
        trash->device = folder.device;
        if (int error = openTrash(m_fs, folder, trash->can)) {
            trash->failure = notKeptReason(trash->can, error);
            // A drive whose top folder the user may not write, or whose Trash another user
            // could enter: the home Trash takes a copy of the older file.
            if (!trash->can.home) {
                TrashCan home;
                if (int homeError = openHomeTrash(m_fs, home)) {
                    trash->failure += ", nor in " + home.path + " \u2014 " + errorText(homeError);
                } else {
                    trash->can = std::move(home);
                    trash->failure.clear();
                }
            }
        }
        found = m_trashes.insert(m_trashes.end(), std::move(trash));
    }
    if ((*found)->failure.empty()) return &(*found)->can;
    failure = CopyResult::failure((*found)->failure + m_keepingOffHint);
    return nullptr;
}

CopyResult RunFolders::ForRow::open(const std::string& path, WriteFolder*& folder) {
    if (!m_result) m_result = openOnce(path, m_folder);
    folder = m_folder;
    return *m_result;
}

bool RunFolders::ForRow::within(OpenFolder& open, CopyResult& failure) {
    const std::optional<FolderIdentity> top = m_folders.top(m_checks);
    if (!top) {
        failure = CopyResult::failure(std::string(DestinationFolderMissingReason));
        return false;
    }
    if (open.checkedTop.device != top->device || open.checkedTop.inode != top->inode ||
        !open.checkedTop.known) {
        bool within = false;
        if (int error = liesWithin(m_folders.m_fs, open.folder, top->device, top->inode, within)) {
            failure = CopyResult::failure(error);
            return false;
        }
        open.checkedTop = *top;
        open.within = within;
    }
    if (!open.within) failure = CopyResult::failure(outsideReason(m_checks.destinationSide));
    return open.within;
}

RunFolders::OpenFolder* RunFolders::ForRow::openMaking(const std::string& path, CopyResult& failure) {
    OpenFolder* open = m_folders.open(path, failure);
    const std::string_view top = m_checks.topPath;
    if (open || failure.error != ENOENT || !m_checks.makeFolders || path.size() <= top.size() ||
        !path.starts_with(top))
        return open;
    const std::string parentPath = GetParentFolder(std::string_view(path).substr(0, path.size() - 1));
    const std::string name = path.substr(parentPath.size(), path.size() - parentPath.size() - 1);
    OpenFolder* parent = openMaking(parentPath, failure);
    // Never made through a link that leads out of the chosen folder.
    if (!parent || !within(*parent, failure)) return nullptr;
    if (int error = m_folders.m_fs.makeFolder(parent->folder.handle, name, 0777);
        error != 0 && error != EEXIST) {
        failure = CopyResult::failure(error);
        return nullptr;
    }
    // Something else of that name (a file where the folder is needed) fails the open.
    return m_folders.open(path, failure);
}

CopyResult RunFolders::ForRow::openOnce(const std::string& path, WriteFolder*& folder) {
    CopyResult failure;
    OpenFolder* open = openMaking(path, failure);
    if (!open) return failure;
    if (!within(*open, failure)) return failure;
    // Only now, within the chosen folder: a link that leads out is never cleaned through.
    m_folders.m_earlierRuns.finishIn(open->folder);
    folder = &open->folder;
    return CopyResult::success({});
}

} // namespace quellomir
