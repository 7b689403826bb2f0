#include "app/plan_path_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace quellomir {

namespace {

// Where the last part of `path` begins (at its separator), searching back from `before`; a
// folder's path ends with a separator of its own.
qsizetype partStart(const QString& path, qsizetype before) {
    return before >= 0 ? path.lastIndexOf(QLatin1Char('/'), before) : -1;
}

// The path cut before its separator at `slash`, the rest whole; empty where that does not fit.
QString cutBefore(const QString& path, qsizetype slash, const QFontMetrics& metrics, int width) {
    if (slash <= 0) return {};
    const QString tail = path.mid(slash);
    const int room = width - metrics.horizontalAdvance(tail);
    if (room < metrics.horizontalAdvance(QString(QChar(0x2026)))) return {};
    return metrics.elidedText(path.left(slash), Qt::ElideRight, room) + tail;
}

} // namespace

QString elidePath(const QString& path, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype last =
        partStart(path, path.endsWith(QLatin1Char('/')) ? path.size() - 2 : path.size() - 1);
    // The folder a file lies in tells one album's photo from another's: it stays too, where
    // there is room for it.
    if (QString cut = cutBefore(path, partStart(path, last - 1), metrics, width); !cut.isEmpty()) return cut;
    if (QString cut = cutBefore(path, last, metrics, width); !cut.isEmpty()) return cut;
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

void PlanPathDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (!index.data(Qt::CheckStateRole).isValid()) return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, option.widget);
    // The style outlines a box in a shade of the window's colour: faint on white, and in a
    // dark theme nearly the list's own colour, so an unticked row looked like no row at all.
    QColor frame = item.palette.color((item.state & QStyle::State_Selected) ? QPalette::HighlightedText
                                                                            : QPalette::Text);
    frame.setAlphaF(0.7);
    painter->save();
    painter->setPen(frame);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    painter->restore();
}

void PlanPathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    // The frame around the text takes a few pixels of its own on either side, and the
    // painting measures the text a little wider than its advance: a text that just fits
    // here would be cut once more.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    constexpr int Slack = 6;
    const int width = style->subElementRect(QStyle::SE_ItemViewItemText, option, option->widget).width() -
                      2 * margin - Slack;
    if (!m_pathColumns.contains(index.column())) {
        // An action's words stay whole at the column's fixed width: a little narrower type
        // rather than "will over…e an older".
        const int needed = option->fontMetrics.horizontalAdvance(option->text);
        if (needed <= width || width <= 0) return;
        const double scale = std::max(0.7, double(width) / needed);
        if (option->font.pixelSize() > 0)
            option->font.setPixelSize(std::max(1, int(option->font.pixelSize() * scale)));
        else
            option->font.setPointSizeF(option->font.pointSizeF() * scale);
        option->fontMetrics = QFontMetrics(option->font);
        return;
    }
    option->text = elidePath(option->text, option->fontMetrics, width);
}

} // namespace quellomir
