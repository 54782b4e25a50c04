#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class CloudDatabase;

// A browser that signed in to an account keeps a device cookie for it, signed with a
// key every instance of the service shares: failed sign-ins that come with a valid
// device cookie count for that cookie alone, so that strangers' failures never lock the
// account's owner out.
class DeviceCookies
{
public:
    static inline const QByteArray cookieName = "quillo_device";
    static constexpr int maxAgeDays = 365;

    struct Device {
        QString uid;   // the account it signed in to
        QString nonce; // which browser
    };

    explicit DeviceCookies(QByteArray key) : m_key(std::move(key)) {}

    // The shared key, made on first use; nothing and the reason when it cannot be read
    // or stored.
    static std::optional<QByteArray> loadKey(CloudDatabase& database, QString* error);

    // A new cookie value for a browser that just signed in to `uid`.
    QByteArray issue(const QString& uid) const;
    // What a cookie value says, when its signature is right.
    std::optional<Device> verify(const QByteArray& value) const;

private:
    QByteArray m_key;
};
