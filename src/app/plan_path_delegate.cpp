#include "app/plan_path_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>

namespace quellomir {

QString elidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    // The last part begins after the separator before it; a folder's path ends with one.
    const qsizetype searchFrom = path.endsWith(QLatin1Char('/')) ? path.size() - 2 : path.size() - 1;
    const qsizetype slash = searchFrom >= 0 ? path.lastIndexOf(QLatin1Char('/'), searchFrom) : -1;
    const QString ellipsis(QChar(0x2026));
    if (slash <= 0) return metrics.elidedText(path, Qt::ElideMiddle, width);
    const QString tail = path.mid(slash);
    const int room = width - metrics.horizontalAdvance(tail);
    if (room < metrics.horizontalAdvance(ellipsis)) return metrics.elidedText(path, Qt::ElideMiddle, width);
    return metrics.elidedText(path.left(slash), Qt::ElideRight, room) + tail;
}

void PlanPathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!m_pathColumns.contains(index.column())) return;
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    const int width = style->subElementRect(QStyle::SE_ItemViewItemText, option, option->widget).width();
    // The frame around the text takes a few pixels of its own on either side, and the
    // painting measures the text a little wider than its advance: a text that just fits
    // here would be cut once more, in its file name.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    constexpr int Slack = 6;
    option->text = elidePath(option->text, option->fontMetrics, width - 2 * margin - Slack);
}

} // namespace quellomir
