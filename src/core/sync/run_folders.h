#pragma once

#include "compare/plan.h"
#include "files/trash_can.h"
#include "files/write_folder.h"
#include "fs/file_system.h"
#include "sync/copy_result.h"
#include "sync/earlier_runs.h"
#include "sync/row_checks.h"
#include "sync/safe_file_copy.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quellomir {

// The folders a sync run writes into, held open and checked to lie within the chosen
// folders, each cleared of what earlier runs left there the first time it is opened; and the
// Trash of each drive they lie on.
class RunFolders {
  public:
    explicit RunFolders(FileSystem& fs);

    // What a row that could not keep its older file adds to its reason: how the user turns
    // keeping off.
    void setKeepingOffHint(std::string hint) { m_keepingOffHint = std::move(hint); }

    // A folder the run writes into, and what is known of where it lies.
    struct OpenFolder {
        WriteFolder folder;
        FolderIdentity checkedTop; // the chosen folder it was last checked against
        bool within = false;
    };
    // The folder `path`, held open; nullptr and the reason when it cannot be opened. What
    // earlier runs left there is finished when a row's folders open it (ForRow), once it is
    // known to lie within the chosen folder.
    OpenFolder* open(const std::string& path, CopyResult& failure);
    // Lets the folders go when many are held and none is in use.
    void letGoOfMany();
    // The chosen folder of `checks`, looked up once when the plan does not know it.
    std::optional<FolderIdentity> top(const RowChecks& checks);
    // The Trash of `folder`'s drive, found once per drive, or the home Trash where the drive
    // has none of its own that can be used; nullptr and the reason when neither can be.
    TrashCan* trashFor(WriteFolder& folder, CopyResult& failure);

    // What earlier runs left that could not be dealt with, one line each.
    const std::vector<std::string>& notes() const { return m_earlierRuns.notes(); }

    // The folders one row writes into: the run's, checked to lie within the row's chosen
    // folder, and cleared of what earlier runs left. The folder the row's checks looked at is
    // the one its copy goes to, even when a second try would open it.
    class ForRow final : public WriteFolders {
      public:
        ForRow(RunFolders& folders, const RowChecks& checks) : m_folders(folders), m_checks(checks) {}
        CopyResult open(const std::string& path, WriteFolder*& folder) override;

      private:
        CopyResult openOnce(const std::string& path, WriteFolder*& folder);
        // The folder `path`, made with the folders above it that are missing, each made only
        // in a folder checked to lie within the chosen one.
        OpenFolder* openMaking(const std::string& path, CopyResult& failure);
        // Whether `open` lies within the row's chosen folder; the failure where that cannot be told.
        bool within(OpenFolder& open, CopyResult& failure);
        RunFolders& m_folders;
        const RowChecks& m_checks;
        std::optional<CopyResult> m_result;
        WriteFolder* m_folder = nullptr;
    };

  private:
    FileSystem& m_fs;
    std::unordered_map<std::string, std::unique_ptr<OpenFolder>> m_folders;
    std::optional<FolderIdentity> m_tops[2]; // looked up for plans that do not know them
    WriteFolder m_heldTops[2];               // the folders of m_tops, open
    struct Trash {
        std::uint64_t device = 0;
        std::string failure; // why the drive has no Trash to use; empty when it has
        TrashCan can;
    };
    std::vector<std::unique_ptr<Trash>> m_trashes;
    std::string m_keepingOffHint;
    EarlierRuns m_earlierRuns;
};

} // namespace quellomir
