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

namespace {

const QString PairByPlaceItem = QStringLiteral("Pair files by their place in the folders");
const QString UntickMarkedItem = QStringLiteral("Untick rows marked \u26a0");
const QString UntickAcrossItem = QStringLiteral("Untick rows across subfolders");
const QString TickSelectedItem = QStringLiteral("Tick the selected rows");
const QString UntickSelectedItem = QStringLiteral("Untick the selected rows");

} // namespace

bool Form1::pairsByPlace() const {
    return m_env.settings.read(QStringLiteral("PairBy"), QString()).trimmed().toLower() ==
           QStringLiteral("path");
}

void Form1::ListView3_ContextMenu(const QPoint& at) {
    if (m_running) return;
    NumberedHandler h(m_errorReport, "in Quellomir2021/08/31.Form1.ListView3_ContextMenu ");
    // A settings file that cannot be read is reported; the menu shows pairing by name then.
    bool byPlace = false;
    h.run(100, [&] { byPlace = pairsByPlace(); });
    const QString chosen = m_env.dialogs.chooseFromMenu(
        this, at, {UntickMarkedItem, UntickAcrossItem, TickSelectedItem, UntickSelectedItem, PairByPlaceItem},
        {PairByPlaceItem}, byPlace ? QStringList{PairByPlaceItem} : QStringList{});
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
