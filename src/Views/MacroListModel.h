#pragma once

#include <QAbstractListModel>

class AppViewModel;

// The library as a list model: one row per macro, name on the first line and the
// action count and duration on the second.
class MacroListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, CountRole, DurationRole };

    explicit MacroListModel(AppViewModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    AppViewModel& m_model;
};
