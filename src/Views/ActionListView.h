#pragma once

#include <QListView>
#include <functional>
#include <set>

// The action list: rows dragged to another place are moved there by the model (the
// list itself never rearranges its rows). A right-click leaves the selection as it is:
// the context menu decides what it acts on.
class ActionListView : public QListView
{
    Q_OBJECT
public:
    explicit ActionListView(QWidget* parent = nullptr);

    // Called with the dragged rows and the row they go before.
    std::function<void(const std::set<int>& rows, int destination)> onMove;

protected:
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
