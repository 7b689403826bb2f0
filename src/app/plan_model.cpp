#include "app/plan_model.h"

#include "compare/plan_order.h"
#include "compare/row_details.h"

#include <QApplication>
#include <QIcon>
#include <QStyle>

#include <stdexcept>

namespace quellomir {
namespace {

enum Column { SourceColumn, ActionColumn, DestinationColumn };

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The small warning sign of the desktop's style, before the destination of a row that pairs
// files by name only: the destination's path is cut in the middle anyway, while the action's
// text would lose its words at the column's fixed width.
const QIcon& warningMark() {
    static const QIcon mark = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    return mark;
}

} // namespace

int PlanModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant PlanModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || std::size_t(index.row()) >= m_plan->size()) return {};
    const std::size_t row = planRow(index.row());
    if (role == Qt::CheckStateRole && index.column() == SourceColumn)
        return m_plan->rows()[row].checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole) {
        // The whole row, which the columns show cut, what is needed to judge it, and then
        // what the list's own tooltip says.
        return fromUtf8(m_plan->sourceText(row)) + QLatin1Char('\n') +
               fromUtf8(m_plan->actionText(row)).trimmed() + QLatin1Char('\n') +
               fromUtf8(m_plan->destinationText(row)) + QStringLiteral("\n\n") +
               fromUtf8(rowDetails(*m_plan, row)) + QStringLiteral("\n\n") + QString::fromLatin1(ListToolTip);
    }
    // A screen reader says the ⚠ in words.
    if (role == Qt::AccessibleDescriptionRole && index.column() == DestinationColumn)
        return wantsALook(*m_plan, row) ? tr("Warning: paired by name only; the two files may differ")
                                        : QVariant();
    if (role == Qt::DecorationRole && index.column() == DestinationColumn)
        return wantsALook(*m_plan, row) ? warningMark() : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case SourceColumn:
        return fromUtf8(m_plan->sourceText(row));
    case ActionColumn:
        return fromUtf8(m_plan->actionText(row));
    case DestinationColumn:
        return fromUtf8(m_plan->destinationText(row));
    default:
        return {};
    }
}

bool PlanModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::CheckStateRole || index.column() != SourceColumn ||
        std::size_t(index.row()) >= m_plan->size())
        return false;
    m_plan->tick(planRow(index.row()), value.value<Qt::CheckState>() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags PlanModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = ReportListModel::flags(index);
    if (index.isValid() && index.column() == SourceColumn) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

void PlanModel::clear() {
    setPlan(Plan());
}

void PlanModel::setPlan(Plan plan) {
    beginResetModel();
    m_plan = std::make_shared<Plan>(std::move(plan));
    m_shownOrder.clear();
    m_shownAt.clear();
    m_sortColumn = -1;
    endResetModel();
}

void PlanModel::showNextOrderOf(int column) {
    if (column < SourceColumn || column > DestinationColumn) return;
    if (column != m_sortColumn) {
        m_sortColumn = column;
        m_sortOrder = Qt::AscendingOrder;
    } else if (m_sortOrder == Qt::AscendingOrder) {
        m_sortOrder = Qt::DescendingOrder;
    } else {
        m_sortColumn = -1;
        showOrder({});
        return;
    }
    showOrder(rowsInOrderOf(*m_plan, PlanColumn(column), m_sortOrder == Qt::DescendingOrder));
}

// The selection and the current row follow their rows to where they are shown now, as
// with any sorted list.
void PlanModel::showOrder(std::vector<std::uint32_t> order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList kept = persistentIndexList();
    std::vector<std::size_t> keptRows;
    keptRows.reserve(std::size_t(kept.size()));
    for (const QModelIndex& index : kept)
        keptRows.push_back(planRow(index.row()));
    m_shownOrder = std::move(order);
    m_shownAt.assign(m_shownOrder.size(), 0);
    for (std::size_t shown = 0; shown < m_shownOrder.size(); ++shown)
        m_shownAt[m_shownOrder[shown]] = std::uint32_t(shown);
    QModelIndexList moved;
    moved.reserve(kept.size());
    for (qsizetype i = 0; i < kept.size(); ++i)
        moved.push_back(index(shownRow(keptRows[std::size_t(i)]), kept[i].column()));
    changePersistentIndexList(kept, moved);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex PlanModel::indexOfRow(int n, int column) const {
    return index(shownRow(rowIndex(n)), column);
}

bool PlanModel::checked(int n) const {
    return m_plan->rows()[rowIndex(n)].checked;
}

void PlanModel::setChecked(int n, bool checked) {
    const std::size_t row = rowIndex(n);
    m_plan->tick(row, checked);
    const QModelIndex shown = index(shownRow(row), SourceColumn);
    emit dataChanged(shown, shown, {Qt::CheckStateRole});
}

void PlanModel::checksChanged() {
    if (m_plan->size() > 0)
        emit dataChanged(index(0, SourceColumn), index(count() - 1, SourceColumn), {Qt::CheckStateRole});
}

void PlanModel::setAllChecked(bool checked) {
    if (m_plan->size() == 0) return;
    m_plan->setAllChecked(checked);
    emit dataChanged(index(0, SourceColumn), index(count() - 1, SourceColumn), {Qt::CheckStateRole});
}

QString PlanModel::sourceText(int n) const {
    return fromUtf8(m_plan->sourceText(rowIndex(n)));
}

QString PlanModel::actionText(int n) const {
    return fromUtf8(m_plan->actionText(rowIndex(n)));
}

QString PlanModel::destinationText(int n) const {
    return fromUtf8(m_plan->destinationText(rowIndex(n)));
}

void PlanModel::markDone(int n) {
    const std::size_t row = rowIndex(n);
    m_plan->markDone(row);
    rowChanged(row);
}

void PlanModel::markFailed(int n, const std::string& reason) {
    const std::size_t row = rowIndex(n);
    m_plan->markFailed(row, reason);
    rowChanged(row);
}

std::size_t PlanModel::rowIndex(int n) const {
    if (n < 1 || std::size_t(n) > m_plan->size())
        throw std::out_of_range("Index out of bounds: row " + std::to_string(n) + " of " +
                                std::to_string(m_plan->size()));
    return std::size_t(n - 1);
}

void PlanModel::actionsChanged() {
    if (m_plan->size() > 0)
        emit dataChanged(index(0, ActionColumn), index(count() - 1, ActionColumn), {Qt::DisplayRole});
}

void PlanModel::rowChanged(std::size_t row) {
    const QModelIndex shown = index(shownRow(row), ActionColumn);
    emit dataChanged(shown, shown, {Qt::DisplayRole});
}

} // namespace quellomir
