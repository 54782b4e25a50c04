#include "SignInLimiter.h"

#include "Accounts.h"
#include "CloudDatabase.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {
QString accountSubject(const QString& email)
{
    return QStringLiteral("account:") + Accounts::normalizedEmail(email);
}
QString addressSubject(const QString& address)
{
    return QStringLiteral("address:") + address;
}
} // namespace

int SignInLimiter::recentFailures(const QString& subject)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM sign_in_failures WHERE subject = ? AND at > ?"));
    query.addBindValue(subject);
    query.addBindValue(QDateTime::currentDateTimeUtc().addSecs(-60 * windowMinutes).toString(Qt::ISODate));
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

bool SignInLimiter::isLimited(const QString& email, const QString& address)
{
    return recentFailures(accountSubject(email)) >= maxFailures ||
           recentFailures(addressSubject(address)) >= maxFailures;
}

void SignInLimiter::recordFailure(const QString& email, const QString& address)
{
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    for (const QString& subject : {accountSubject(email), addressSubject(address)}) {
        QSqlQuery query(m_database.connection());
        query.prepare(QStringLiteral("INSERT INTO sign_in_failures (id, subject, at) VALUES (?, ?, ?)"));
        query.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
        query.addBindValue(subject);
        query.addBindValue(now);
        query.exec();
    }
    // Old counts are of no use.
    QSqlQuery prune(m_database.connection());
    prune.prepare(QStringLiteral("DELETE FROM sign_in_failures WHERE at < ?"));
    prune.addBindValue(QDateTime::currentDateTimeUtc().addDays(-1).toString(Qt::ISODate));
    prune.exec();
}
