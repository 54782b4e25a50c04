#include "Services/LogService.h"

#include "Platform/PlatformLog.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

LogService::LogService(QObject* parent) : QObject(parent) {}

LogService* LogService::shared()
{
    static LogService* const instance = [] {
        auto* service = new LogService;
        PlatformLog::setSink(&appLog); // the backends' lines come here from now on
        if (auto* app = QCoreApplication::instance(); app && service->thread() != app->thread())
            service->moveToThread(app->thread());
        return service;
    }();
    return instance;
}

void LogService::setEntries(QList<LogEntry> entries)
{
    m_entries = std::move(entries);
    if (m_entries.size() > maxEntries)
        m_entries.remove(0, m_entries.size() - maxEntries);
    Q_EMIT entriesChanged();
}

void LogService::log(const QString& message, LogEntry::Level level)
{
    m_entries.append(
        LogEntry{QUuid::createUuid(), QDateTime::currentDateTimeUtc(), level, message});
    // The same line on standard error, for a terminal or the journal.
    if (int(level) < int(m_terminalLevel)) {
        if (m_entries.size() > maxEntries)
            m_entries.remove(0, m_entries.size() - maxEntries);
        Q_EMIT entriesChanged();
        return;
    }
    const QString line = LogEntry::terminalLine(m_entries.back().text());
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    if (m_entries.size() > maxEntries)
        m_entries.remove(0, m_entries.size() - maxEntries);
    Q_EMIT entriesChanged();
}

QString LogService::text(const QList<LogEntry>& entries)
{
    QStringList lines;
    lines.reserve(entries.size());
    for (const LogEntry& entry : entries)
        lines.append(entry.text());
    return lines.join(QLatin1Char('\n'));
}

void appLog(const QString& message, LogEntry::Level level)
{
    LogService* service = LogService::shared();
    QMetaObject::invokeMethod(
        service, [service, message, level] { service->log(message, level); }, Qt::QueuedConnection);
}
