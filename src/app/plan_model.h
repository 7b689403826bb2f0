#pragma once

#include "app/report_list_model.h"

namespace quellomir {

// The result list: one row per planned copy, each with a tick box.
class PlanModel final : public ReportListModel {
    Q_OBJECT
  public:
    using ReportListModel::ReportListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};

} // namespace quellomir
