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

QString LogEntry::terminalLine(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            line += QLatin1Char(' ');
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            line += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else if ((u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069))
            line += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
            line += c;
    }
    return line;
}
