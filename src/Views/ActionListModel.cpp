#include "Views/ActionListModel.h"

#include <QImage>

#include <QColor>

void ActionListModel::setMacro(const Macro& macro)
{
    beginResetModel();
    m_pictures.clear();
    m_macro = macro;
    endResetModel();
}

int ActionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_macro.actions.size());
}

QString ActionListModel::timestampText(double seconds)
{
    return QLatin1Char('+') + QString::number(seconds, 'f', 3) + QLatin1Char('s');
}

QColor ActionListModel::kindColor(ActionType type)
{
    switch (type) {
    case ActionType::keyDown:
    case ActionType::keyUp:
        return QColor(0x0a, 0x84, 0xff);
    case ActionType::mouseMove:
        return QColor(0x8e, 0x8e, 0x93);
    case ActionType::mouseDown:
    case ActionType::mouseUp:
        return QColor(0x30, 0xd1, 0x58);
    case ActionType::mouseDrag:
        return QColor(0xff, 0x9f, 0x0a);
    case ActionType::scroll:
        return QColor(0xbf, 0x5a, 0xf2);
    case ActionType::windowFocus:
        return QColor(0x40, 0xc8, 0xe0);
    case ActionType::delay:
        return QColor(0xff, 0xd6, 0x0a);
    case ActionType::wait:
        return QColor(0xff, 0x6b, 0x3d);
    case ActionType::unknown:
        return QColor(0x8e, 0x8e, 0x93);
    }
    return {};
}

QString ActionListModel::kindIcon(ActionType type)
{
    switch (type) {
    case ActionType::keyDown:
    case ActionType::keyUp:
        return QStringLiteral("keyboard");
    case ActionType::mouseMove:
        return QStringLiteral("cursor");
    case ActionType::mouseDown:
    case ActionType::mouseUp:
        return QStringLiteral("click");
    case ActionType::mouseDrag:
        return QStringLiteral("drag");
    case ActionType::scroll:
        return QStringLiteral("scroll");
    case ActionType::windowFocus:
        return QStringLiteral("window");
    case ActionType::delay:
        return QStringLiteral("timer");
    case ActionType::wait:
        return QStringLiteral("eye");
    case ActionType::unknown:
        return QStringLiteral("warning");
    }
    return {};
}

QVariant ActionListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const MacroAction& action = m_macro.actions[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return action.displayName();
    case TimestampRole: {
        const QString detail = m_describe ? m_describe(action) : QString();
        return detail.isEmpty() ? timestampText(action.timestamp)
                                : timestampText(action.timestamp) + QStringLiteral("  \u00b7  ") + detail;
    }
    case KindRole:
        return int(action.type());
    case PictureRole: {
        const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload);
        if (!down || !down->sight)
            return {};
        const ClickSight* sight = down->sight.get();
        auto cached = m_pictures.constFind(sight);
        if (cached == m_pictures.constEnd())
            cached = m_pictures.insert(sight, QPixmap::fromImage(QImage::fromData(sight->png, "PNG")));
        return cached->isNull() ? QVariant() : QVariant(*cached);
    }
    case Qt::DecorationRole:
        return kindColor(action.type());
    default:
        return {};
    }
}

Qt::ItemFlags ActionListModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags base = QAbstractListModel::flags(index);
    return index.isValid() ? base | Qt::ItemIsDragEnabled : base | Qt::ItemIsDropEnabled;
}
