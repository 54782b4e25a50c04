#include "Views/ActionListView.h"

#include <QMouseEvent>

#include <QDropEvent>

ActionListView::ActionListView(QWidget* parent) : QListView(parent)
{
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
}

void ActionListView::dropEvent(QDropEvent* event)
{
    if (event->source() != this || !onMove) {
        event->ignore();
        return;
    }
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.insert(index.row());
    const QModelIndex target = indexAt(event->position().toPoint());
    int destination = target.isValid() ? target.row() : model()->rowCount();
    if (target.isValid() && event->position().y() > visualRect(target).center().y())
        ++destination;
    event->setDropAction(Qt::IgnoreAction); // the model moves the rows, not the view
    event->accept();
    if (!rows.empty())
        onMove(rows, destination);
}

void ActionListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}
