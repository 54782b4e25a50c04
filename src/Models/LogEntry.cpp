#include "Models/LogEntry.h"

QString LogEntry::levelText(Level level)
{
    switch (level) {
    case Level::debug:
        return QStringLiteral("DEBUG");
    case Level::info:
        return QStringLiteral("INFO");
    case Level::warn:
        return QStringLiteral("WARN");
    case Level::error:
        return QStringLiteral("ERROR");
    }
    return {};
}

QString LogEntry::text() const
{
    return QStringLiteral("[%1] [%2] ")
               .arg(timestamp.toLocalTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                    levelText(level)) +
           message;
}
