#include "DeviceTokens.h"

#include "CloudDatabase.h"
#include "Secrets.h"

#include <QSqlQuery>
#include <QVariant>

namespace {
QString now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}
} // namespace

QString DeviceTokens::issue(const QString& userUid, const QString& device)
{
    const QString token = Secrets::newToken();
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("INSERT INTO device_tokens (token_hash, user_id, device, created_at) VALUES (?, ?, ?, ?)"));
    query.addBindValue(Secrets::sha256Hex(token.toLatin1()));
    query.addBindValue(userUid);
    query.addBindValue(device);
    query.addBindValue(now());
    return query.exec() ? token : QString();
}

QString DeviceTokens::bearerToken(const QByteArray& authorization)
{
    if (authorization.size() <= 7 || authorization.left(7).toLower() != "bearer ")
        return {};
    return QString::fromLatin1(authorization.mid(7)).trimmed();
}

std::optional<Account> DeviceTokens::authenticate(const QString& token)
{
    if (token.isEmpty() || token.size() > 200)
        return std::nullopt;
    const QString hash = Secrets::sha256Hex(token.toLatin1());
    QSqlQuery& query = m_database.prepared(
        QStringLiteral("SELECT u.id, u.email, u.display_name, u.photo_url, t.last_used_at FROM device_tokens t "
                       "JOIN users u ON u.id = t.user_id WHERE t.token_hash = ? AND t.revoked_at IS NULL"));
    query.addBindValue(hash);
    if (!query.exec() || !query.next()) {
        query.finish();
        return std::nullopt;
    }
    Account user{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                   query.value(3).toString()};
    const QString lastUsedText = query.value(4).toString();
    query.finish(); // no read stays open on the connection
    // The last use is kept to the minute: a write for every request would make every
    // check wait for the database's writers.
    const QDateTime current = QDateTime::currentDateTimeUtc();
    const QDateTime lastUsed = QDateTime::fromString(lastUsedText, Qt::ISODate);
    if (!lastUsed.isValid() || lastUsed.secsTo(current) >= lastUseResolutionSeconds) {
        QSqlQuery used(m_database.connection());
        used.prepare(QStringLiteral("UPDATE device_tokens SET last_used_at = ? WHERE token_hash = ?"));
        used.addBindValue(current.toString(Qt::ISODate));
        used.addBindValue(hash);
        used.exec();
    }
    return user;
}

bool DeviceTokens::revoke(const QString& token)
{
    return revokeHash(Secrets::sha256Hex(token.toLatin1()));
}

bool DeviceTokens::revokeHash(const QString& hash)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE device_tokens SET revoked_at = ? WHERE token_hash = ? AND revoked_at IS NULL"));
    query.addBindValue(now());
    query.addBindValue(hash);
    return query.exec() && query.numRowsAffected() > 0;
}

int DeviceTokens::revokeDevice(const QString& userUid, const QString& device)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral(
        "UPDATE device_tokens SET revoked_at = ? WHERE user_id = ? AND device = ? AND revoked_at IS NULL"));
    query.addBindValue(now());
    query.addBindValue(userUid);
    query.addBindValue(device);
    return query.exec() ? query.numRowsAffected() : 0;
}

int DeviceTokens::revokeAll(const QString& userUid)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("UPDATE device_tokens SET revoked_at = ? WHERE user_id = ? AND revoked_at IS NULL"));
    query.addBindValue(now());
    query.addBindValue(userUid);
    return query.exec() ? query.numRowsAffected() : 0;
}

std::vector<DeviceTokens::Device> DeviceTokens::devices(const QString& userUid)
{
    std::vector<Device> result;
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT device, created_at, last_used_at FROM device_tokens "
                                 "WHERE user_id = ? AND revoked_at IS NULL ORDER BY created_at"));
    query.addBindValue(userUid);
    if (query.exec())
        while (query.next())
            result.push_back({query.value(0).toString(), query.value(1).toString(), query.value(2).toString()});
    return result;
}
