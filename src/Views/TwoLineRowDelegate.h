#pragma once

#include <QStyledItemDelegate>

// Rows of two lines (a title, then a smaller secondary line) drawn by hand over the
// style's own row background, selection included.
class TwoLineRowDelegate : public QStyledItemDelegate
{
public:
    TwoLineRowDelegate(int padding, QObject* parent) : QStyledItemDelegate(parent), m_padding(padding) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return QSize(option.rect.width(), option.fontMetrics.height() * 2 + m_padding);
    }

protected:
    // Draws the row's background and selection, without the model's text or icon.
    void paintBackground(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        background.icon = QIcon();
        option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);
    }

    // Text whose direction is its own (by its first letter) inside a row of the window's
    // direction: "+0.250s · A" or "Report (v2)" keep their order in a right-to-left row.
    static QString isolated(const QString& text) { return QChar(0x2068) + text + QChar(0x2069); }

    // The smaller font of the second line.
    static QFont secondaryFont(const QFont& font)
    {
        QFont small = font;
        small.setPointSizeF(font.pointSizeF() * 0.8);
        return small;
    }

private:
    int m_padding;
};
