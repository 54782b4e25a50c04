#pragma once

#include "Account.h"

#include <QDateTime>
#include <optional>
#include <vector>

class CloudDatabase;

// Tokens that signed-in devices send as "Authorization: Bearer …". Only their SHA-256
// is stored, with the device's name and when it was made and last used.
class DeviceTokens
{
public:
    struct Device {
        QString name;
        QString createdAt;
        QString lastUsedAt; // empty: never used
    };

    // How finely the last use of a token is kept, in seconds.
    static constexpr int lastUseResolutionSeconds = 60;

    explicit DeviceTokens(CloudDatabase& database) : m_database(database) {}

    // The token of an "Authorization: Bearer …" header (the scheme in any case, as
    // RFC 7235 has it), or empty.
    static QString bearerToken(const QByteArray& authorization);

    // A new token for `device`, shown to its owner once; empty when it cannot be stored.
    QString issue(const QString& userUid, const QString& device);
    // The account a token belongs to, unless unknown or revoked; notes its use.
    std::optional<Account> authenticate(const QString& token);
    bool revoke(const QString& token);
    // The token whose SHA-256 (hex) is `hash`.
    bool revokeHash(const QString& hash);
    // The tokens of one device (or all of the account's); how many were revoked.
    int revokeDevice(const QString& userUid, const QString& device);
    int revokeAll(const QString& userUid);
    std::vector<Device> devices(const QString& userUid);

private:
    CloudDatabase& m_database;
};
