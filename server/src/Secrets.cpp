#include "Secrets.h"

#include <QCryptographicHash>
#include <sodium.h>

namespace Secrets {

bool initialize()
{
    return sodium_init() >= 0;
}

QString newToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    randombytes_buf(bytes.data(), std::size_t(bytes.size()));
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString hashPassword(const QByteArray& password)
{
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), std::size_t(password.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QString::fromLatin1(hash);
}

bool verifyPassword(const QString& hash, const QByteArray& password)
{
    const QByteArray stored = hash.toLatin1();
    return !stored.isEmpty() &&
           crypto_pwhash_str_verify(stored.constData(), password.constData(), std::size_t(password.size())) == 0;
}

QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray hmacSha256(const QByteArray& key, const QByteArray& message)
{
    QByteArray mac(crypto_auth_hmacsha256_BYTES, Qt::Uninitialized);
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(key.constData()), std::size_t(key.size()));
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(message.constData()),
                                  std::size_t(message.size()));
    crypto_auth_hmacsha256_final(&state, reinterpret_cast<unsigned char*>(mac.data()));
    return mac;
}

bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    return a.size() == b.size() && sodium_memcmp(a.constData(), b.constData(), std::size_t(a.size())) == 0;
}

} // namespace Secrets
