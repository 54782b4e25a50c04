#pragma once

#include <QString>

// Why the secret store refused. `status` is the store's own error code; `detail` its
// words, for the log.
struct KeychainError
{
    enum class Kind
    {
        unexpectedStatus,
        dataConversionFailed
    };

    Kind kind = Kind::unexpectedStatus;
    int status = 0;
    QString detail;
    // No secret store answers at all (none on the session bus, none installed).
    bool storeUnavailable = false;

    QString description() const
    {
        if (kind == Kind::dataConversionFailed)
            return QStringLiteral("Failed to convert keychain data");
        return QStringLiteral("Keychain operation failed (status %1)").arg(status);
    }
    // For log lines: the description and the store's own words.
    QString logText() const { return detail.isEmpty() ? description() : description() + QStringLiteral(": ") + detail; }
    bool operator==(const KeychainError&) const = default;
};
