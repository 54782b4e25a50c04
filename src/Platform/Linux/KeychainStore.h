#pragma once

#include "Platform/SecretStore.h"

// The cloud token in the desktop's secret store (Secret Service: GNOME Keyring,
// KWallet) under a service and an account name. QtKeychain's plaintext fallback is
// never used. The calls wait for the store (briefly running a local event loop).
class KeychainStore : public SecretStore
{
public:
    inline static const QString defaultService = QStringLiteral("quillo.tolvane.app.cloud-token");
    inline static const QString defaultAccount = QStringLiteral("default");

    explicit KeychainStore(QString service = defaultService, QString account = defaultAccount);

    const QString& service() const { return m_service; }
    const QString& account() const { return m_account; }

    Status<KeychainError> save(const QString& secret) override;
    Expected<std::optional<QString>, KeychainError> load() override;
    Status<KeychainError> remove() override;

private:
    QString m_service;
    QString m_account;
};
