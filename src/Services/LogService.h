#pragma once

#include "Models/LogEntry.h"

#include <QList>
#include <QObject>

// The in-memory log that the debug panel shows: at most 1000 entries, oldest first.
// Lives on the main thread; other code reaches it through appLog().
class LogService : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype maxEntries = 1000;

    // The one instance, created on first use and kept until the process ends.
    static LogService* shared();

    const QList<LogEntry>& entries() const { return m_entries; }
    // Replaces the whole list (the debug panel clears the log this way).
    void setEntries(QList<LogEntry> entries);

    // Main thread only: appends one entry stamped now and drops the oldest beyond the bound;
    // the entry's line also goes to standard error.
    void log(const QString& message, LogEntry::Level level);
    // The least level that is also written to standard error (the application: all; the
    // command line: warnings, or all with --verbose). Every entry is kept either way.
    void setTerminalLevel(LogEntry::Level level) { m_terminalLevel = level; }

    // The text form of several entries, one per line.
    static QString text(const QList<LogEntry>& entries);

Q_SIGNALS:
    void entriesChanged();

private:
    explicit LogService(QObject* parent = nullptr);

    QList<LogEntry> m_entries;
    LogEntry::Level m_terminalLevel = LogEntry::Level::debug;
};

// Logs from any thread without waiting: the entry is appended on the main thread,
// in the order the calls were made there.
void appLog(const QString& message, LogEntry::Level level = LogEntry::Level::info);
