#include "SignInLimiter.h"

#include "Accounts.h"
#include "CloudDatabase.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

// Subjects stay short whatever was sent (the address is checked for length before).
QString accountSubject(const QString& email)
{
    return QStringLiteral("account:") + Accounts::normalizedEmail(email).left(254);
}
QString addressSubject(const QString& address)
{
    return QStringLiteral("address:") + address.left(64);
}
QString deviceSubject(const QString& nonce)
{
    return QStringLiteral("device:") + nonce.left(64);
}
QString signUpSubject(const QString& address)
{
    return QStringLiteral("signup:") + address.left(64);
}
QString codeSubject(const QString& address)
{
    return QStringLiteral("code:") + address.left(64);
}

} // namespace

std::optional<int> SignInLimiter::recent(const QString& subject, int minutes)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM sign_in_failures WHERE subject = ? AND at > ?"));
    query.addBindValue(subject);
    query.addBindValue(QDateTime::currentDateTimeUtc().addSecs(-60 * minutes).toString(Qt::ISODate));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toInt();
}

std::optional<bool> SignInLimiter::isLimited(const QString& email, const QString& address,
                                             const std::optional<QString>& device)
{
    if (device) {
        const auto own = recent(deviceSubject(*device), windowMinutes);
        return own ? std::optional(*own >= maxFailures) : std::nullopt;
    }
    const auto account = recent(accountSubject(email), windowMinutes);
    const auto from = recent(addressSubject(address), windowMinutes);
    if (!account || !from)
        return std::nullopt;
    return *account >= maxFailures || *from >= maxFailures;
}

bool SignInLimiter::record(const QStringList& subjects)
{
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    for (const QString& subject : subjects) {
        QSqlQuery query(m_database.connection());
        query.prepare(QStringLiteral("INSERT INTO sign_in_failures (id, subject, at) VALUES (?, ?, ?)"));
        query.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
        query.addBindValue(subject);
        query.addBindValue(now);
        if (!query.exec())
            return false;
    }
    // Old counts are of no use.
    QSqlQuery prune(m_database.connection());
    prune.prepare(QStringLiteral("DELETE FROM sign_in_failures WHERE at < ?"));
    prune.addBindValue(QDateTime::currentDateTimeUtc().addDays(-1).toString(Qt::ISODate));
    prune.exec();
    return true;
}

bool SignInLimiter::recordFailure(const QString& email, const QString& address, const std::optional<QString>& device)
{
    return record(device ? QStringList{deviceSubject(*device)} : QStringList{accountSubject(email), addressSubject(address)});
}

std::optional<bool> SignInLimiter::signUpsLimited(const QString& address)
{
    const auto count = recent(signUpSubject(address), signUpWindowMinutes);
    return count ? std::optional(*count >= maxSignUps) : std::nullopt;
}

bool SignInLimiter::recordSignUp(const QString& address)
{
    return record({signUpSubject(address)});
}

std::optional<bool> SignInLimiter::codeGuessesLimited(const QString& address)
{
    const auto count = recent(codeSubject(address), windowMinutes);
    return count ? std::optional(*count >= maxFailures) : std::nullopt;
}

bool SignInLimiter::recordCodeGuess(const QString& address)
{
    return record({codeSubject(address)});
}
