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
    // What is taken at all, checked before any hashing or storage.
    static constexpr int maxEmailBytes = 254;
    static constexpr int maxPasswordBytes = 1024;
    static constexpr int maxDisplayNameCharacters = 100;

    explicit Accounts(CloudDatabase& database) : m_database(database) {}

    // A new account; nothing and the reason when the address is not one, is taken, the
    // name or the password is not acceptable, or it cannot be stored. `status`: the HTTP
    // status of the failure (400 for what was sent, 5xx for the service's own).
    std::optional<Account> add(const QString& email, const QString& displayName, const QByteArray& password,
                                 QString* error, int* status = nullptr);
    // Whether an e-mail address and a password are of a size worth checking at all.
    static bool plausible(const QString& email, const QByteArray& password)
    {
        return email.toUtf8().size() <= maxEmailBytes && password.size() <= maxPasswordBytes;
    }
    std::optional<Account> byEmail(const QString& email);
    std::optional<Account> byUid(const QString& uid);
    // The account when the password is its password.
    std::optional<Account> verify(const QString& email, const QByteArray& password);
    std::vector<Account> all();

    static QString normalizedEmail(const QString& email) { return email.trimmed().toLower(); }

private:
    CloudDatabase& m_database;
};
