#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace quellomir {

// The tooltip all three lists carry.
inline constexpr const char* ListToolTip =
    "Double-click item to remove it. Move | line to right and out of window to reveal full names.";

// The columns of a list in report view. Lists start with none: the window adds them,
// with their header texts, while it loads.
class ReportListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void addColumn(const QString& headerText);
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QStringList m_headers;
};

} // namespace quellomir
