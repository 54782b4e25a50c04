#pragma once

#include "Models/ScreenWait.h"

#include "Models/HotkeyChord.h"

#include <optional>

#include <QUuid>
#include <QWidget>
#include <set>

class ActionListModel;
class AppViewModel;
class PlaybackControlView;
class QLabel;
class QListView;
class QPushButton;
class QStackedWidget;
class QToolButton;

// The selected macro: its name and totals, its actions (select, edit, insert, delete,
// duplicate, copy and paste, change their gaps) and the playback panel. Made anew for
// each selected macro.
class MacroDetailView : public QWidget
{
    Q_OBJECT
public:
    MacroDetailView(AppViewModel& model, const QUuid& macroID, QWidget* parent = nullptr);

    QListView* actionList() const { return m_list; }
    ActionListModel* actions() const { return m_actions; }
    PlaybackControlView* playbackControls() const { return m_playback; }
    // The macro's own hotkey: its chord, and why the last one asked for was refused.
    class ChordButton* hotkeyButton() const { return m_hotkey; }
    QLabel* hotkeyProblem() const { return m_hotkeyProblem; }
    QPushButton* deleteSelectedButton() const { return m_deleteSelected; }
    QLabel* recordedWithText() const { return m_recordedWith; }
    std::set<int> selection() const;
    double delayDuration() const { return m_delayDuration; }

    void deleteSelected();
    // The insert-delay sheet for a delay after `row`.
    void insertDelayAfter(int row);
    // The entries the context menu of `row` offers, by title.
    QStringList contextMenuTitles(int row) const;
    // The context menu's "Delete" of one row; the rest of the selection is kept.
    void deleteRowKeepingSelection(int row);

    // The action editor for `row` (double-click, Enter or "Edit…").
    void editRow(int row);
    // What "Insert" makes, after the selection (or at the end).
    enum class Insert { text, key, click, application, delay, waitImage, waitColor, waitWindow, waitSettle };
    void insert(Insert what);
    // A new wait step of `kind` after row `after`, as its form makes it.
    void insertWait(int after, ScreenWait::Kind kind);
    // Where an insertion goes: after the last selected row, else after the last row.
    int insertionRow() const;
    void duplicateSelected();
    void copySelected();
    void paste();
    // "Change Gaps…" for the selection.
    void changeSelectedGaps();
    QToolButton* insertButton() const { return m_insert; }
    // The message of the last paste that found nothing to paste.
    QString pasteProblem() const { return m_pasteProblem; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refresh();
    void setHotkey(std::optional<HotkeyChord> chord);
    void showContextMenu(const QPoint& at);
    void selectRows(int first, int count);

    AppViewModel& m_model;
    QUuid m_macroID;
    ActionListModel* m_actions;
    QLabel* m_name;
    QLabel* m_summary;
    QLabel* m_recordedWith;
    QPushButton* m_deleteSelected;
    QToolButton* m_more;
    QToolButton* m_insert;
    QString m_pasteProblem;
    QStackedWidget* m_stack;
    QLabel* m_noActions;
    QListView* m_list;
    PlaybackControlView* m_playback = nullptr;
    QLabel* m_hotkeyTitle;
    class ChordButton* m_hotkey;
    QToolButton* m_removeHotkey;
    QLabel* m_hotkeyProblem;
    double m_delayDuration = 0.5;
};
