#include "Services/Cloud/CloudError.h"

QString CloudError::description() const
{
    switch (kind) {
    case Kind::http:
        return message ? *message : QStringLiteral("Server returned HTTP %1.").arg(status);
    case Kind::decoding:
        return QStringLiteral("Failed to decode response: ") + detail;
    case Kind::transport:
        return QStringLiteral("Network error: ") + detail;
    case Kind::notSignedIn:
        return QStringLiteral("Sign in to Quillo Cloud first.");
    case Kind::unauthorized:
        return QStringLiteral("Your session has expired or was signed out remotely.");
    case Kind::invalidResponse:
        return QStringLiteral("Invalid response from server.");
    case Kind::insecureConnection:
        return QStringLiteral("Quillo does not send your sign-in over plain HTTP to another machine (%1). Use an "
                              "https:// address for Quillo Cloud.")
            .arg(detail);
    }
    return {};
}
