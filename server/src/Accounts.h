#pragma once

#include "CloudUser.h"

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
    std::optional<CloudUser> add(const QString& email, const QString& displayName, const QByteArray& password,
                                 QString* error);
    std::optional<CloudUser> byEmail(const QString& email);
    std::optional<CloudUser> byUid(const QString& uid);
    // The account when the password is its password.
    std::optional<CloudUser> verify(const QString& email, const QByteArray& password);
    std::vector<CloudUser> all();

    static QString normalizedEmail(const QString& email) { return email.trimmed().toLower(); }

private:
    CloudDatabase& m_database;
};
