#include "app/folder_slot_model.h"

#include <stdexcept>

namespace quellomir {

int FolderSlotModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant FolderSlotModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() != 0 || index.row() >= count()) return {};
    // The slot shows the path cut in its middle where it is long; the tooltip shows it whole.
    if (role == Qt::DisplayRole) return m_rows.at(index.row());
    if (role == Qt::ToolTipRole)
        return m_rows.at(index.row()) + QStringLiteral("\n\n") + QString::fromLatin1(ListToolTip);
    return {};
}

void FolderSlotModel::clear() {
    if (m_rows.isEmpty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void FolderSlotModel::add(const QString& text) {
    beginInsertRows({}, count(), count());
    m_rows.append(text);
    endInsertRows();
}

QString FolderSlotModel::text(int n) const {
    checkRowNumber(n);
    return m_rows.at(n - 1);
}

void FolderSlotModel::remove(int n) {
    checkRowNumber(n);
    beginRemoveRows({}, n - 1, n - 1);
    m_rows.removeAt(n - 1);
    endRemoveRows();
}

void FolderSlotModel::checkRowNumber(int n) const {
    if (n < 1 || n > count())
        throw std::out_of_range("Index out of bounds: row " + std::to_string(n) + " of " +
                                std::to_string(count()));
}

} // namespace quellomir
