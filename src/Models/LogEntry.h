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

    bool operator==(const LogEntry&) const = default;
};
