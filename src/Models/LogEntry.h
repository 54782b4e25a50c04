#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <array>

// One line of the application's own log.
struct LogEntry
{
    enum class Level
    {
        debug,
        info,
        warn,
        error
    };
    static constexpr std::array<Level, 4> allLevels = {Level::debug, Level::info, Level::warn,
                                                       Level::error};

    QUuid id;
    QDateTime timestamp;
    Level level = Level::info;
    QString message;

    // "DEBUG", "INFO", "WARN", "ERROR": the only text form of a level.
    static QString levelText(Level level);
    // "[14:03:07.215] [WARN] message", the time in the local zone.
    QString text() const;
    // `text` as one line that is safe to write to a terminal or the journal: line breaks
    // become spaces, control characters and direction overrides are written as escapes,
    // so that names from files or the network cannot send escape sequences.
    static QString terminalLine(const QString& text);

    bool operator==(const LogEntry&) const = default;
};
