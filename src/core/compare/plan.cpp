#include "compare/plan.h"

#include <atomic>

#include <stdexcept>
#include <utility>

namespace quellomir {
namespace {

const ListedFile& fileAt(const FileList& list, std::size_t file) {
    if (file >= list.size()) throw std::out_of_range("a plan row refers past its file list");
    return list.file(file);
}

} // namespace

Plan::Plan(FileList files1, FileList files2, std::string folder1, std::string folder2, FatTimes fat,
           Pairing pairing)
    : m_files{std::move(files1), std::move(files2)}, m_folders{std::move(folder1), std::move(folder2)},
      m_fat(fat), m_pairing(pairing) {}

void Plan::appendCopyRows(Side source, const std::vector<std::uint32_t>& files) {
    m_rows.reserve(m_rows.size() + files.size());
    for (std::uint32_t file : files) {
        PlanRow row;
        row.source = file;
        row.kind = RowKind::Copy;
        row.sourceSide = source;
        m_rows.push_back(row);
    }
}

bool Plan::tickedNow(std::size_t row) const {
    // The window writes the tick through tick(), atomically; reading leaves it as it is.
    return std::atomic_ref<bool>(const_cast<bool&>(m_rows.at(row).checked)).load(std::memory_order_relaxed);
}

void Plan::tick(std::size_t row, bool ticked) {
    std::atomic_ref<bool>(m_rows.at(row).checked).store(ticked, std::memory_order_relaxed);
}

void Plan::setAllChecked(bool checked) {
    for (PlanRow& row : m_rows)
        row.checked = checked;
}

void Plan::markDone(std::size_t row) {
    m_rows.at(row).outcome = Outcome::Done;
}

void Plan::markFailed(std::size_t row, std::string reason) {
    PlanRow& r = m_rows.at(row);
    r.outcome = Outcome::Failed;
    r.reason = static_cast<std::uint32_t>(m_reasons.size());
    m_reasons.push_back(std::move(reason));
}

const ListedFile& Plan::sourceFile(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    return fileAt(files(r.sourceSide), r.source);
}

const ListedFile& Plan::destinationFile(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    if (r.kind != RowKind::Overwrite) throw std::logic_error("a copy row has no destination file");
    return fileAt(files(otherSide(r.sourceSide)), r.destination);
}

std::string Plan::sourceText(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    return files(r.sourceSide).path(r.source);
}

std::string Plan::actionText(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    switch (r.outcome) {
    case Outcome::Done:
        return std::string(DoneActionText);
    case Outcome::Failed:
        return std::string(FailedActionPrefix) + failureReason(row);
    case Outcome::Pending:
        break;
    }
    return std::string(r.kind == RowKind::Copy ? CopyActionText : OverwriteActionText);
}

const std::string& Plan::failureReason(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    if (r.outcome != Outcome::Failed) throw std::logic_error("only a failed row has a reason");
    return m_reasons.at(r.reason);
}

std::string Plan::destinationText(std::size_t row) const {
    const PlanRow& r = m_rows.at(row);
    const Side other = otherSide(r.sourceSide);
    if (r.kind == RowKind::Copy) return copyFolder(r.sourceSide, files(r.sourceSide).file(r.source).folder);
    return files(other).path(r.destination);
}

std::string Plan::copyFolder(Side source, std::uint32_t folder) const {
    const Side other = otherSide(source);
    if (m_pairing == Pairing::ByName) return this->folder(other);
    // The source's own subfolder, below the other chosen folder.
    const std::string& subfolder = files(source).folders[folder];
    return this->folder(other) + subfolder.substr(std::min(this->folder(source).size(), subfolder.size()));
}

} // namespace quellomir
