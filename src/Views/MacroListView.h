#pragma once

#include <QWidget>

class AppViewModel;
class MacroListModel;
class QLabel;
class QListView;
class QStackedWidget;
class QToolButton;

// The sidebar: the library's macros, their context menu (rename, export, delete) and
// the import button; its selection is the model's selected macro.
class MacroListView : public QWidget
{
    Q_OBJECT
public:
    explicit MacroListView(AppViewModel& model, QWidget* parent = nullptr);

    QListView* list() const { return m_list; }
    // Asks for a new name (the rename sheet) and renames when saved.
    void rename(const QUuid& id);

protected:
    void changeEvent(QEvent* event) override;

private:
    void setMargins(class QLayout* layout);
    void refresh();
    void showSelection();
    void showContextMenu(const QPoint& at);
    void retranslate();

    AppViewModel& m_model;
    MacroListModel* m_listModel;
    QLabel* m_title;
    QToolButton* m_import;
    QStackedWidget* m_stack;
    QLabel* m_empty;
    QListView* m_list;
};
