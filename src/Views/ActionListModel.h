#pragma once

#include "Models/Macro.h"

#include <QAbstractListModel>
#include <QHash>
#include <QPixmap>
#include <functional>

// One macro's actions as a list model with uniform rows, so that a list of 10,000
// actions shows and scrolls at once (no widget per row).
class ActionListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // PictureRole: a press's picture of the screen as recorded (a QPixmap), or nothing.
    enum Role { TimestampRole = Qt::UserRole + 1, KindRole, PictureRole };

    using QAbstractListModel::QAbstractListModel;

    void setMacro(const Macro& macro);
    // What the second line adds after the time for an action ("Shift+H" for keys).
    void setDescriber(std::function<QString(const MacroAction&)> describe) { m_describe = std::move(describe); }
    const Macro& macro() const { return m_macro; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    // "+1.250s"
    static QString timestampText(double seconds);
    // The colour and the icon of each kind of action in the list.
    static QColor kindColor(ActionType type);
    static QString kindIcon(ActionType type);

private:
    Macro m_macro;
    // Decoded once per picture while this macro is shown.
    mutable QHash<const ClickSight*, QPixmap> m_pictures;
    std::function<QString(const MacroAction&)> m_describe;
};
