#pragma once

#include "Account.h"

#include <QByteArray>
#include <optional>
#include <vector>

class CloudDatabase;

// The accounts: e-mail address, display name and an Argon2id hash of the password.
class Accounts
{
public:
    static constexpr int minimumPasswordLength = 8;

    explicit Accounts(CloudDatabase& database) : m_database(database) {}

    // A new account; nothing and the reason when the address is not one, is taken, or
    // the password is too short.
    std::optional<Account> add(const QString& email, const QString& displayName, const QByteArray& password,
                                 QString* error);
    std::optional<Account> byEmail(const QString& email);
    std::optional<Account> byUid(const QString& uid);
    // The account when the password is its password.
    std::optional<Account> verify(const QString& email, const QByteArray& password);
    std::vector<Account> all();

    static QString normalizedEmail(const QString& email) { return email.trimmed().toLower(); }

private:
    CloudDatabase& m_database;
};
