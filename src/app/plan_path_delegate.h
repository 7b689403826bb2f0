#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

namespace quellomir {

// `path` cut to `width` pixels in its middle, between its beginning and its last part
// (the file name, or a folder's own name), which stays whole as long as it fits: in a
// narrow column that is what tells one row from another. A path that fits is unchanged;
// a last part too long to fit is cut in its own middle.
QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

// Draws the plan's path columns with elidePath; other columns as the view elides them; and
// every check box framed in the text's colour.
class PlanPathDelegate final : public QStyledItemDelegate {
    Q_OBJECT
  public:
    PlanPathDelegate(QList<int> pathColumns, QObject* parent)
        : QStyledItemDelegate(parent), m_pathColumns(std::move(pathColumns)) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    QList<int> m_pathColumns;
};

} // namespace quellomir
