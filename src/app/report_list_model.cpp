#include "app/report_list_model.h"

namespace quellomir {

void ReportListModel::addColumn(const QString& headerText) {
    const int column = int(m_headers.size());
    beginInsertColumns({}, column, column);
    m_headers.append(headerText);
    endInsertColumns();
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_headers.size())
        return {};
    return m_headers.at(section);
}

} // namespace quellomir
