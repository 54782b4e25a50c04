#pragma once

#include "Models/Expected.h"
#include "Platform/KeychainError.h"

#include <QString>
#include <optional>

// One secret text kept by the desktop's secret store (never in an ordinary file).
class SecretStore
{
public:
    virtual ~SecretStore() = default;

    // Creates or replaces the secret.
    virtual Status<KeychainError> save(const QString& secret) = 0;
    // The secret, or nothing when there is none.
    virtual Expected<std::optional<QString>, KeychainError> load() = 0;
    // Succeeds when there is nothing to remove.
    virtual Status<KeychainError> remove() = 0;
};
