#include "Views/MacroListModel.h"

#include "ViewModels/NameText.h"

#include "ViewModels/AppViewModel.h"
#include "ViewModels/DurationFormat.h"

MacroListModel::MacroListModel(AppViewModel& model, QObject* parent) : QAbstractListModel(parent), m_model(model)
{
    connect(&m_model, &AppViewModel::macrosChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int MacroListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_model.macros().size());
}

QVariant MacroListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Macro& macro = m_model.macros()[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return NameText::oneLine(macro.metadata.name);
    case Qt::ToolTipRole:
        return (macro.actions.size() == 1 ? QStringLiteral("%1 action \u00b7 %2") : QStringLiteral("%1 actions \u00b7 %2")).arg(macro.actions.size()).arg(DurationFormat::list(macro.totalDuration()));
    case IdRole:
        return macro.id;
    case CountRole:
        return qlonglong(macro.actions.size());
    case DurationRole:
        return DurationFormat::list(macro.totalDuration());
    default:
        return {};
    }
}
