#pragma once

#include <QUuid>
#include <QWidget>

class AppViewModel;
class MacroDetailView;
class MacroListView;
class QLabel;
class QStackedLayout;

// The main window's content: the permission banner, the library beside the selected
// macro (or the empty state), and the recorder bar.
class ContentView : public QWidget
{
    Q_OBJECT
public:
    explicit ContentView(AppViewModel& model, QWidget* parent = nullptr);

    MacroListView* macroList() const { return m_list; }
    // The detail pane of the selected macro, or nothing when none is selected.
    MacroDetailView* detail() const { return m_detail; }
    QLabel* emptyDetail() const { return m_emptyDetail; }

private:
    void showSelected();
    void retranslate();

    AppViewModel& m_model;
    MacroListView* m_list;
    QWidget* m_detailHost;
    QStackedLayout* m_detailStack;
    QLabel* m_emptyDetail;
    MacroDetailView* m_detail = nullptr;
    QUuid m_shownID;
};
