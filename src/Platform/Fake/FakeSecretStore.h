#pragma once

#include "Platform/SecretStore.h"

// A secret store in memory; each operation can be made to fail.
class FakeSecretStore : public SecretStore
{
public:
    std::optional<QString> secret;
    std::optional<KeychainError> saveError, loadError, removeError;
    int saves = 0, loads = 0, removes = 0;

    Status<KeychainError> save(const QString& value) override
    {
        ++saves;
        if (saveError)
            return failure(*saveError);
        secret = value;
        return ok;
    }
    Expected<std::optional<QString>, KeychainError> load() override
    {
        ++loads;
        if (loadError)
            return failure(*loadError);
        return secret;
    }
    Status<KeychainError> remove() override
    {
        ++removes;
        if (removeError)
            return failure(*removeError);
        secret.reset();
        return ok;
    }
};
