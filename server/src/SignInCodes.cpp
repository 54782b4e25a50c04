#include "SignInCodes.h"

#include "CloudDatabase.h"
#include "Codec/SignInCode.h"
#include "DeviceTokens.h"
#include "Secrets.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <sodium.h>

namespace {

QString stamp(const QDateTime& at)
{
    return at.toString(Qt::ISODate);
}

} // namespace

QString SignInCodes::issue(const QString& userUid, const QString& device, const QString& linkToken)
{
    QString code;
    for (int i = 0; i < SignInCode::length; ++i)
        code.append(QLatin1Char(SignInCode::alphabet[randombytes_uniform(32)]));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("INSERT INTO sign_in_codes (code_hash, user_id, device, link_token_hash, expires_at) "
                                 "VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(Secrets::sha256Hex(code.toLatin1()));
    query.addBindValue(userUid);
    query.addBindValue(device);
    query.addBindValue(Secrets::sha256Hex(linkToken.toLatin1()));
    query.addBindValue(stamp(now.addSecs(60 * lifetimeMinutes)));
    if (!query.exec())
        return {};
    // Codes past their time are of no use.
    QSqlQuery prune(m_database.connection());
    prune.prepare(QStringLiteral("DELETE FROM sign_in_codes WHERE expires_at < ?"));
    prune.addBindValue(stamp(now.addDays(-1)));
    prune.exec();
    return code.left(4) + QLatin1Char('-') + code.mid(4);
}

SignInCodes::Exchange SignInCodes::exchange(const QString& typed)
{
    const QString code = SignInCode::normalized(typed);
    if (code.isEmpty())
        return {Outcome::notValid, {}};
    const QString hash = Secrets::sha256Hex(code.toLatin1());
    const QString now = stamp(QDateTime::currentDateTimeUtc());
    // One transaction: a code is spent only together with the token it brings.
    QSqlDatabase db = m_database.connection();
    if (!db.transaction())
        return {Outcome::failed, {}, m_database.statusFor(db.lastError())};
    auto failed = [&](const QSqlError& error) {
        db.rollback();
        return Exchange{Outcome::failed, {}, m_database.statusFor(error)};
    };
    // Taken first, in one statement: of two exchanges of one code, one wins.
    QSqlQuery take(db);
    take.prepare(QStringLiteral("UPDATE sign_in_codes SET used_at = ? WHERE code_hash = ? AND used_at IS NULL AND "
                                "expires_at > ?"));
    take.addBindValue(now);
    take.addBindValue(hash);
    take.addBindValue(now);
    if (!take.exec())
        return failed(take.lastError());
    if (take.numRowsAffected() != 1) {
        db.rollback();
        return {Outcome::notValid, {}};
    }
    QSqlQuery read(db);
    read.prepare(QStringLiteral("SELECT user_id, device, link_token_hash FROM sign_in_codes WHERE code_hash = ?"));
    read.addBindValue(hash);
    if (!read.exec() || !read.next())
        return failed(read.lastError());
    const QString user = read.value(0).toString();
    const QString device = read.value(1).toString();
    const QString linkTokenHash = read.value(2).toString();
    read.finish();
    DeviceTokens tokens(m_database);
    const QString token = tokens.issue(user, device);
    if (token.isEmpty())
        return failed(db.lastError());
    tokens.revokeHash(linkTokenHash);
    if (!db.commit())
        return failed(db.lastError());
    return {Outcome::exchanged, token};
}
