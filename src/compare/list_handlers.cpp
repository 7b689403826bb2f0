#include "app/form1.h"
#include "compare/row_details.h"
#include "handler/numbered_handler.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>

namespace quellomir {
namespace {
constexpr int DeleteKeyCode = 46;
}

void Form1::ListView1_DblClick() {
    removeSelectedSlotRow(ListView1, m_folder1);
}

void Form1::ListView2_DblClick() {
    removeSelectedSlotRow(ListView2, m_folder2);
}

void Form1::ListView1_KeyDown(int keyCode, int) {
    if (keyCode == DeleteKeyCode) removeSelectedSlotRow(ListView1, m_folder1);
}

void Form1::ListView2_KeyDown(int keyCode, int) {
    if (keyCode == DeleteKeyCode) removeSelectedSlotRow(ListView2, m_folder2);
}

// Takes the row off the screen only: the stored folder stays, so it comes back at the
// next start, unlike "Clear Folder".
void Form1::removeSelectedSlotRow(QTreeView* list, FolderSlotModel& slot) {
    if (m_cursor == CursorSetting::Busy || m_running) return;
    if (slot.count() == 0) return;
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    if (selected.isEmpty()) return;
    slot.remove(selected.first().row() + 1);
}

bool Form1::pairsByPlace() const {
    return m_env.settings.read(QStringLiteral("PairBy"), QString()).trimmed().toLower() ==
           QStringLiteral("path");
}

void Form1::ListView3_ContextMenu(const QPoint& at) {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.ListView3_ContextMenu ");
    const QString PairByPlaceItem = tr("Pair files by their place in the folders");
    const QString UntickMarkedItem = tr("Untick rows marked \u26a0");
    const QString UntickAcrossItem = tr("Untick rows across subfolders");
    const QString TickSelectedItem = tr("Tick the selected rows");
    const QString UntickSelectedItem = tr("Untick the selected rows");
    const QString LeaveOutNamesItem = tr("Leave out files named \u2026");
    const QString LeaveOutFolderItem = tr("Leave out this folder");
    // A settings file that cannot be read is reported; the menu shows pairing by name then.
    bool byPlace = false;
    h.run(100, [&] { byPlace = pairsByPlace(); });
    const QString chosen = m_env.dialogs.chooseFromMenu(
        this, at,
        {UntickMarkedItem, UntickAcrossItem, TickSelectedItem, UntickSelectedItem, PairByPlaceItem,
         LeaveOutNamesItem, LeaveOutFolderItem},
        {PairByPlaceItem}, byPlace ? QStringList{PairByPlaceItem} : QStringList{});
    if (chosen == LeaveOutNamesItem || chosen == LeaveOutFolderItem) {
        // The patterns go into the setting, and the plan is made again without those files.
        QStringList added;
        h.run(112, [&] { added = leftOutBySelection(chosen == LeaveOutFolderItem); });
        if (added.isEmpty()) return;
        h.run(114, [&] { addExclusions(added); });
        h.run(116, [&] { PushButton5_Click(); });
        return;
    }
    if (chosen == UntickMarkedItem)
        h.run(102, [&] { m_plan.setCheckedWhere(false, wantsALook); });
    else if (chosen == UntickAcrossItem)
        h.run(104, [&] { m_plan.setCheckedWhere(false, pairsDifferentSubfolders); });
    else if (chosen == TickSelectedItem || chosen == UntickSelectedItem)
        h.run(106, [&] { tickSelectedRows(chosen == TickSelectedItem); });
    if (chosen != PairByPlaceItem) return;
    h.run(108, [&] {
        m_env.settings.save(QStringLiteral("PairBy"),
                            byPlace ? QStringLiteral("name") : QStringLiteral("path"));
    });
    // The plan paired its files the other way: it goes, as with a change of a slot.
    h.run(110, [&] { dropPlan(); });
}

QString Form1::exclusionsSetting() const {
    return m_env.settings.read(QStringLiteral("Exclude"), QString());
}

void Form1::addExclusions(const QStringList& patterns) {
    QStringList all = exclusionsSetting().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : all)
        pattern = pattern.trimmed();
    for (const QString& pattern : patterns)
        if (!all.contains(pattern)) all.append(pattern);
    m_env.settings.save(QStringLiteral("Exclude"), all.join(QLatin1Char(';')));
}

// The names of the selected rows' files, or the folder of the row under the cursor as its path
// below its chosen folder ("2021/Trash/"); nothing for a file in a chosen folder's top.
QStringList Form1::leftOutBySelection(bool folder) const {
    const Plan& plan = m_plan.plan();
    QStringList patterns;
    const auto add = [&](const QModelIndex& shown) {
        const std::size_t row = std::size_t(m_plan.rowAt(shown) - 1);
        const std::string source = plan.sourceText(row);
        const FileList& side = plan.files(plan.rows()[row].sourceSide);
        const std::string top = side.folders.empty() ? std::string() : side.folders.front();
        const std::size_t slash = source.rfind('/');
        QString pattern;
        if (!folder)
            pattern = QString::fromStdString(source.substr(slash + 1));
        else if (slash != std::string::npos && source.starts_with(top) && slash + 1 > top.size())
            pattern = QString::fromStdString(source.substr(top.size(), slash + 1 - top.size()));
        if (!pattern.isEmpty() && !patterns.contains(pattern)) patterns.append(pattern);
    };
    if (folder) {
        if (ListView3->currentIndex().isValid()) add(ListView3->currentIndex());
    } else {
        for (const QModelIndex& shown : ListView3->selectionModel()->selectedRows())
            add(shown);
    }
    return patterns;
}

void Form1::tickSelectedRows(bool ticked) {
    std::vector<bool> picked(std::size_t(m_plan.count()), false);
    for (const QItemSelectionRange& range : ListView3->selectionModel()->selection())
        for (int shown = range.top(); shown <= range.bottom(); ++shown)
            picked[std::size_t(shown)] = true;
    m_plan.setCheckedWhereShown(ticked, [&](std::size_t shown) { return bool(picked[shown]); });
}

void Form1::ListView3_ColumnClick(int column) {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.ListView3_ColumnClick ");
    h.run(100, [&] { m_plan.showNextOrderOf(column); });
    h.run(102, [&] { showSortIndicator(); });
}

void Form1::showSortIndicator() {
    QHeaderView* header = ListView3->header();
    header->setSortIndicatorShown(m_plan.sortColumn() >= 0);
    if (m_plan.sortColumn() >= 0) header->setSortIndicator(m_plan.sortColumn(), m_plan.sortOrder());
}

void Form1::PushButton7_Click() {
    tickEveryRow("in Quellomir2021/08/31.Form1.PushButton7_Click ", true);
}

void Form1::PushButton8_Click() {
    tickEveryRow("in Quellomir2021/08/31.Form1.PushButton8_Click ", false);
}

void Form1::tickEveryRow(const char* location, bool ticked) {
    if (m_running) return;
    NumberedHandler h(m_errorReport, location);
    int count = 0;
    h.run(100, [&] { count = m_plan.count(); });
    // One change for the whole list rather than one per row: a million rows tick at once.
    h.run(102, [&] {
        if (count > 0) m_plan.setAllChecked(ticked);
    });
}

} // namespace quellomir
