#include "DeviceCookies.h"

#include "CloudDatabase.h"
#include "Secrets.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString kKeyName = QStringLiteral("device_cookie_key");
constexpr auto kEncoding = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

} // namespace

std::optional<QByteArray> DeviceCookies::loadKey(CloudDatabase& database, QString* error)
{
    auto read = [&]() -> std::optional<QByteArray> {
        QSqlQuery query(database.connection());
        query.prepare(QStringLiteral("SELECT value FROM service_secrets WHERE name = ?"));
        query.addBindValue(kKeyName);
        if (query.exec() && query.next())
            return QByteArray::fromBase64(query.value(0).toString().toLatin1(), kEncoding);
        return std::nullopt;
    };
    if (auto key = read(); key && key->size() == 32)
        return key;
    // Made once; another instance may make it at the same moment: its key wins then.
    QSqlQuery insert(database.connection());
    insert.prepare(QStringLiteral("INSERT INTO service_secrets (name, value) VALUES (?, ?) ON CONFLICT (name) DO NOTHING"));
    insert.addBindValue(kKeyName);
    insert.addBindValue(Secrets::newToken());
    insert.exec();
    if (auto key = read(); key && key->size() == 32)
        return key;
    *error = QStringLiteral("the key of the device cookies cannot be stored: ") + insert.lastError().text();
    return std::nullopt;
}

QByteArray DeviceCookies::issue(const QString& uid) const
{
    const QByteArray nonce = QByteArray::fromBase64(Secrets::newToken().toLatin1(), kEncoding).left(16).toBase64(kEncoding);
    const QByteArray signedPart = uid.toLatin1().toBase64(kEncoding) + '.' + nonce;
    return signedPart + '.' + Secrets::hmacSha256(m_key, signedPart).toBase64(kEncoding);
}

std::optional<DeviceCookies::Device> DeviceCookies::verify(const QByteArray& value) const
{
    if (value.size() > 256)
        return std::nullopt;
    const QList<QByteArray> parts = value.split('.');
    if (parts.size() != 3)
        return std::nullopt;
    const QByteArray signedPart = parts[0] + '.' + parts[1];
    if (!Secrets::sameBytes(Secrets::hmacSha256(m_key, signedPart), QByteArray::fromBase64(parts[2], kEncoding)))
        return std::nullopt;
    return Device{QString::fromLatin1(QByteArray::fromBase64(parts[0], kEncoding)), QString::fromLatin1(parts[1])};
}
