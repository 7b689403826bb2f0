#pragma once

#include "compare/plan_row.h"
#include "scan/file_list.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quellomir {

inline constexpr std::string_view CopyActionText = " will be copied to";
inline constexpr std::string_view OverwriteActionText = " will overwrite an older";
inline constexpr std::string_view DoneActionText = "Done";
inline constexpr std::string_view FailedActionPrefix = "Failed: ";

// Which folder a chosen folder was when it was compared, so that a sync writes into that
// one only, whatever its path leads to by then.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
};

// The result of a comparison: both sides' file lists, the two folders as their slots
// show them, and the rows that refer into the lists. The three column texts of a
// row are built on demand, so a million rows hold no path strings.
class Plan {
  public:
    Plan() = default;
    Plan(FileList files1, FileList files2, std::string folder1, std::string folder2, FatTimes fat = {},
         Pairing pairing = Pairing::ByName);
    Pairing pairing() const { return m_pairing; }
    // Whether the side's folder lies on FAT, as the comparison found it.
    bool fatTimes(Side side) const { return side == Side::Folder1 ? m_fat.folder1 : m_fat.folder2; }

    const FileList& files(Side side) const { return m_files[index(side)]; }
    // The folder exactly as its slot shows it, with the trailing separator.
    const std::string& folder(Side side) const { return m_folders[index(side)]; }
    const FolderIdentity& topFolder(Side side) const { return m_topFolders[index(side)]; }
    void setTopFolder(Side side, FolderIdentity identity) { m_topFolders[index(side)] = identity; }
    // What the user should know of how the plan was made (one folder lies inside the other).
    const std::vector<std::string>& notes() const { return m_notes; }
    void addNote(std::string note) { m_notes.push_back(std::move(note)); }

    // Whether a row with this file pairs by a name that occurs more than once on either
    // side: files are paired by name alone, so such a row may pair two unrelated files.
    bool nameRepeated(Side side, std::uint32_t file) const {
        const std::vector<bool>& repeated = m_repeated[index(side)];
        return file < repeated.size() && repeated[file];
    }
    void setRepeatedNames(Side side, std::vector<bool> repeated) {
        m_repeated[index(side)] = std::move(repeated);
    }

    std::size_t size() const { return m_rows.size(); }
    const std::vector<PlanRow>& rows() const { return m_rows; }
    std::vector<PlanRow>& rows() { return m_rows; }

    void appendCopyRows(Side source, const std::vector<std::uint32_t>& files);
    void setAllChecked(bool checked);
    // A row's tick, for a run on another thread than the window that may tick or untick it
    // meanwhile; and the window's side of that.
    bool tickedNow(std::size_t row) const;
    void tick(std::size_t row, bool ticked);
    void markDone(std::size_t row);
    void markFailed(std::size_t row, std::string reason);

    const ListedFile& sourceFile(std::size_t row) const;
    // Overwrite rows only: the older file that the source replaces.
    const ListedFile& destinationFile(std::size_t row) const;

    std::string sourceText(std::size_t row) const;
    std::string actionText(std::size_t row) const;
    // A failed row's reason, as its action shows it after "Failed: ".
    const std::string& failureReason(std::size_t row) const;
    // A copy row's: the folder the copy goes into, with its separator.
    std::string destinationText(std::size_t row) const;
    // The folder, with its separator, that a copy of a file in the folder `folder` (of the
    // `source` side's list) goes into.
    std::string copyFolder(Side source, std::uint32_t folder) const;

  private:
    static std::size_t index(Side side) { return side == Side::Folder1 ? 0 : 1; }

    FileList m_files[2];
    std::string m_folders[2];
    FolderIdentity m_topFolders[2];
    std::vector<std::string> m_notes;
    std::vector<PlanRow> m_rows;
    // Failed rows are few; their reasons live here so that a row needs no string.
    std::vector<std::string> m_reasons;
    FatTimes m_fat;
    Pairing m_pairing = Pairing::ByName;
    std::vector<bool> m_repeated[2]; // one bit per file
};

} // namespace quellomir
