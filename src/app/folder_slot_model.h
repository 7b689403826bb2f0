#pragma once

#include "app/report_list_model.h"

namespace quellomir {

// A folder slot: the folder path as the text of its one row. In ordinary use it holds
// zero or one row; rows are numbered from 1 as the handlers count them.
class FolderSlotModel final : public ReportListModel {
    Q_OBJECT
  public:
    using ReportListModel::ReportListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int count() const { return int(m_rows.size()); }
    void clear();
    void add(const QString& text);
    // Row n, 1 to count(); anything else throws, as a list view does.
    QString text(int n) const;
    void remove(int n);

  private:
    void checkRowNumber(int n) const;

    QStringList m_rows;
};

} // namespace quellomir
