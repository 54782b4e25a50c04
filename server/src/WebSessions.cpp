#include "WebSessions.h"

#include "Accounts.h"
#include "CloudDatabase.h"
#include "Secrets.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>

namespace {
QString stamp(const QDateTime& time)
{
    return time.toString(Qt::ISODate);
}
} // namespace

QString WebSessions::create(const QString& userUid)
{
    const QString id = Secrets::newToken();
    const QString now = stamp(QDateTime::currentDateTimeUtc());
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("INSERT INTO web_sessions (session_hash, user_id, csrf, created_at, last_seen_at) "
                                 "VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(Secrets::sha256Hex(id.toLatin1()));
    query.addBindValue(userUid);
    query.addBindValue(Secrets::newToken());
    query.addBindValue(now);
    query.addBindValue(now);
    return query.exec() ? id : QString();
}

std::optional<WebSessions::Session> WebSessions::find(const QByteArray& cookie)
{
    if (cookie.isEmpty() || cookie.size() > 200)
        return std::nullopt;
    const QString hash = Secrets::sha256Hex(cookie);
    const QString oldest = stamp(QDateTime::currentDateTimeUtc().addDays(-idleDays));
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT user_id, csrf FROM web_sessions WHERE session_hash = ? AND last_seen_at > ?"));
    query.addBindValue(hash);
    query.addBindValue(oldest);
    if (!query.exec() || !query.next())
        return std::nullopt;
    const QString uid = query.value(0).toString();
    const QString csrf = query.value(1).toString();
    const auto user = Accounts(m_database).byUid(uid);
    if (!user)
        return std::nullopt;
    QSqlQuery seen(m_database.connection());
    seen.prepare(QStringLiteral("UPDATE web_sessions SET last_seen_at = ? WHERE session_hash = ?"));
    seen.addBindValue(stamp(QDateTime::currentDateTimeUtc()));
    seen.addBindValue(hash);
    seen.exec();
    return Session{*user, csrf};
}

void WebSessions::destroy(const QByteArray& cookie)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("DELETE FROM web_sessions WHERE session_hash = ?"));
    query.addBindValue(Secrets::sha256Hex(cookie));
    query.exec();
}
