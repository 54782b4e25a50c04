#pragma once

#include "Models/LogEntry.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QTextEdit;

// The in-memory log: filter by exact level, search the messages, copy what is shown,
// clear; the newest entry is kept in view as entries arrive.
class DebugPanelView : public QDialog
{
    Q_OBJECT
public:
    explicit DebugPanelView(QWidget* parent = nullptr);

    // The entries the panel shows for a level (none: all) and a search text.
    static QList<LogEntry> filtered(const QList<LogEntry>& entries, std::optional<LogEntry::Level> level,
                                    const QString& search);

    QLabel* footer() const { return m_footer; }
    QTextEdit* text() const { return m_text; }
    // One line of the list: the level's glyph in its colour, the time, the message.
    static QString rowHtml(const LogEntry& entry);

private:
    // Draws every shown entry; the scroll position is kept.
    void redraw();
    // The log changed: adds (and drops) lines where it can, else draws it all again.
    void entriesChanged();
    void followNewest();
    void updateFooter();
    QList<LogEntry> shown() const;

    QComboBox* m_level;
    QLineEdit* m_search;
    QTextEdit* m_text;
    QLabel* m_footer;
    QList<QUuid> m_shownIds; // the entries on screen, in order
};
