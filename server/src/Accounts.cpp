#include "Accounts.h"

#include "CloudDatabase.h"
#include "Secrets.h"

#include <QDateTime>
#include <algorithm>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

Account userFrom(const QSqlQuery& query)
{
    return Account{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                     query.value(3).toString()};
}

const QString kColumns = QStringLiteral("id, email, display_name, photo_url");

} // namespace

std::optional<Account> Accounts::add(const QString& email, const QString& displayName, const QByteArray& password,
                                       QString* error, int* status)
{
    int ignored = 0;
    int& code = status ? *status : ignored;
    code = 400;
    const QString address = normalizedEmail(email);
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    const bool control = std::any_of(address.begin(), address.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
    if (address.toUtf8().size() > maxEmailBytes) {
        *error = QStringLiteral("the e-mail address is longer than %1 bytes").arg(maxEmailBytes);
        return std::nullopt;
    }
    if (at <= 0 || at == address.size() - 1 || address.contains(QLatin1Char(' ')) || control) {
        *error = QStringLiteral("\"%1\" is not an e-mail address").arg(address);
        return std::nullopt;
    }
    const QString name = displayName.trimmed();
    if (name.size() > maxDisplayNameCharacters) {
        *error = QStringLiteral("the name is longer than %1 characters").arg(maxDisplayNameCharacters);
        return std::nullopt;
    }
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; })) {
        *error = QStringLiteral("the name holds a control character");
        return std::nullopt;
    }
    if (password.size() < minimumPasswordLength) {
        *error = QStringLiteral("the password needs at least %1 characters").arg(minimumPasswordLength);
        return std::nullopt;
    }
    if (password.size() > maxPasswordBytes) {
        *error = QStringLiteral("the password is longer than %1 bytes").arg(maxPasswordBytes);
        return std::nullopt;
    }
    if (byEmail(address)) {
        *error = QStringLiteral("an account for %1 exists already").arg(address);
        return std::nullopt;
    }
    const QString hash = Secrets::hashPassword(password);
    if (hash.isEmpty()) {
        code = 503;
        *error = QStringLiteral("the password could not be hashed (out of memory)");
        return std::nullopt;
    }
    const Account user{QUuid::createUuid().toString(QUuid::WithoutBraces), address, name, {}};
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("INSERT INTO users (id, email, display_name, photo_url, password_hash, created_at) "
                                 "VALUES (?, ?, ?, NULL, ?, ?)"));
    query.addBindValue(user.uid);
    query.addBindValue(user.email);
    query.addBindValue(user.displayName.isEmpty() ? QVariant() : QVariant(user.displayName));
    query.addBindValue(hash);
    query.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    if (!query.exec()) {
        code = m_database.statusFor(query.lastError());
        *error = QStringLiteral("the account could not be stored: ") + query.lastError().text();
        return std::nullopt;
    }
    code = 200;
    return user;
}

std::optional<Account> Accounts::byEmail(const QString& email)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT %1 FROM users WHERE email = ?").arg(kColumns));
    query.addBindValue(normalizedEmail(email));
    if (!query.exec() || !query.next())
        return std::nullopt;
    return userFrom(query);
}

std::optional<Account> Accounts::byUid(const QString& uid)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT %1 FROM users WHERE id = ?").arg(kColumns));
    query.addBindValue(uid);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return userFrom(query);
}

std::optional<Account> Accounts::verify(const QString& email, const QByteArray& password)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT %1, password_hash FROM users WHERE email = ?").arg(kColumns));
    query.addBindValue(normalizedEmail(email));
    if (!query.exec() || !query.next()) {
        // As slow as a real check, so that timing does not tell which addresses exist.
        static const QString standIn = Secrets::hashPassword("no account has this password");
        Secrets::verifyPassword(standIn, password);
        return std::nullopt;
    }
    if (!Secrets::verifyPassword(query.value(4).toString(), password))
        return std::nullopt;
    return userFrom(query);
}

std::vector<Account> Accounts::all()
{
    std::vector<Account> users;
    QSqlQuery query(m_database.connection());
    if (query.exec(QStringLiteral("SELECT %1 FROM users ORDER BY email").arg(kColumns)))
        while (query.next())
            users.push_back(userFrom(query));
    return users;
}
