#include "BodyGate.h"

#include "DeviceTokens.h"

std::optional<BodyGate::Refusal> BodyGate::check(const QByteArray& method, const QByteArray& path,
                                                 const QByteArray& authorization,
                                                 std::optional<quint64> contentLength) const
{
    if (method == "POST" && path == "/api/backups") {
        const QString token = DeviceTokens::bearerToken(authorization);
        if (token.isEmpty())
            return Refusal{401, QStringLiteral("Sign in first: the request carries no token")};
        if (!DeviceTokens(m_database).authenticate(token))
            return Refusal{401, QStringLiteral("The token is not valid (unknown or signed out)")};
        if (contentLength && *contentLength > quint64(m_maxUploadBytes))
            return Refusal{413, QStringLiteral("The backup is larger than this service takes (%1 bytes at most)")
                                    .arg(m_maxUploadBytes)};
        return std::nullopt;
    }
    if (!contentLength)
        return Refusal{411, QStringLiteral("Only a backup may be sent in chunks; send the form with its length")};
    if (*contentLength > quint64(maxOtherBodyBytes))
        return Refusal{413, QStringLiteral("The request's body is larger than this page takes (%1 bytes at most)")
                                .arg(maxOtherBodyBytes)};
    return std::nullopt;
}
