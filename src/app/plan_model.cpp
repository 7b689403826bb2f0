#include "app/plan_model.h"

namespace quellomir {

int PlanModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 0;
}

QVariant PlanModel::data(const QModelIndex&, int) const {
    return {};
}

Qt::ItemFlags PlanModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = ReportListModel::flags(index);
    if (index.isValid() && index.column() == 0) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

} // namespace quellomir
