#pragma once

#include "Models/LogEntry.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The in-memory log: filter by level, search, copy, clear, newest followed.
class DebugPanelView : public QDialog
{
    Q_OBJECT
public:
    explicit DebugPanelView(QWidget* parent = nullptr);

    // The entries the panel shows for a level (none: all) and a search text.
    static QList<LogEntry> filtered(const QList<LogEntry>& entries, std::optional<LogEntry::Level> level,
                                    const QString& search);

private:
    void refresh();
    QList<LogEntry> shown() const;

    QComboBox* m_level;
    QLineEdit* m_search;
    QPlainTextEdit* m_text;
    QLabel* m_footer;
    QCheckBox* m_follow;
};
