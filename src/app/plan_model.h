#pragma once

#include "app/report_list_model.h"
#include "compare/plan.h"

#include <memory>

namespace quellomir {

// The result list: one row per planned copy, with its tick in the row itself. The texts
// are built from the plan when a row is painted, so a million rows cost no strings.
// Rows are numbered from 1 in the handlers' terms, in the plan's order; anything else
// throws, as a list view does. The list may show them sorted by a column: the model's own
// rows are the rows as shown, and the handlers never see that order.
class PlanModel final : public ReportListModel {
    Q_OBJECT
  public:
    using ReportListModel::ReportListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const Plan& plan() const { return *m_plan; }
    // The plan as it is now, kept as long as the caller holds it, even when the list is
    // cleared or given another plan meanwhile.
    std::shared_ptr<const Plan> sharedPlan() const { return m_plan; }
    int count() const { return int(m_plan->size()); }
    void clear();
    // Shows a whole plan in one go.
    void setPlan(Plan plan);

    bool checked(int n) const;
    void setChecked(int n, bool checked);
    void setAllChecked(bool checked);
    // Ticks or unticks each row (counted from 0) that `picked` picks, in one pass and one
    // repaint: fast at a million rows.
    template <class Pick> void setCheckedWhere(bool checked, Pick picked) {
        const std::size_t rows = m_plan->size();
        for (std::size_t row = 0; row < rows; ++row)
            if (picked(*m_plan, row)) m_plan->tick(row, checked);
        checksChanged();
    }
    // The same for rows as the list shows them (counted from 0), such as a selection.
    template <class Pick> void setCheckedWhereShown(bool checked, Pick picked) {
        const std::size_t rows = m_plan->size();
        for (std::size_t shown = 0; shown < rows; ++shown)
            if (picked(shown)) m_plan->tick(planRow(int(shown)), checked);
        checksChanged();
    }
    // A click on a column's header: sorted by it, then reversed, then the plan's order again.
    void showNextOrderOf(int column);
    // The column the rows are shown sorted by, or -1 for the plan's order.
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // Row n as the list shows it, and the row n that a shown row is.
    QModelIndex indexOfRow(int n, int column = 0) const;
    int rowAt(const QModelIndex& shown) const { return int(planRow(shown.row())) + 1; }

    QString sourceText(int n) const;
    QString actionText(int n) const;
    QString destinationText(int n) const;
    void markDone(int n);
    void markFailed(int n, const std::string& reason);

    // Lets a run work on the plan itself; the rows' action texts are repainted after,
    // also when the change throws.
    template <class Change> decltype(auto) edit(Change&& change) {
        struct Repaint {
            PlanModel& model;
            ~Repaint() { model.actionsChanged(); }
        } repaint{*this};
        const std::shared_ptr<Plan> kept = m_plan; // should the change let the window clear the list
        return change(*kept);
    }

  private:
    std::size_t rowIndex(int n) const;
    std::size_t planRow(int shown) const {
        return m_shownOrder.empty() ? std::size_t(shown) : m_shownOrder[shown];
    }
    int shownRow(std::size_t row) const { return m_shownOrder.empty() ? int(row) : int(m_shownAt[row]); }
    void showOrder(std::vector<std::uint32_t> order);
    void rowChanged(std::size_t row);
    void actionsChanged();
    void checksChanged();

    std::shared_ptr<Plan> m_plan = std::make_shared<Plan>();
    // The plan's rows in the order shown, and where each is shown; both empty while the
    // list shows the plan's order.
    std::vector<std::uint32_t> m_shownOrder;
    std::vector<std::uint32_t> m_shownAt;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace quellomir
