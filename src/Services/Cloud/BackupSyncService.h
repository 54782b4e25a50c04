#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/Cloud/BackupError.h"
#include "Services/Cloud/CloudBackup.h"

#include <QDateTime>
#include <QObject>
#include <functional>
#include <optional>
#include <vector>

class CloudAPIClient;

// Uploads macros to Quillo Cloud, each one whole: its compact JSON in Base64 with the
// size and SHA-256 of those very bytes. Publishes when the last upload succeeded, the
// last failure and how many uploads run. Main thread only; nothing is kept across runs.
class BackupSyncService : public QObject
{
    Q_OBJECT
public:
    explicit BackupSyncService(CloudAPIClient& apiClient, QObject* parent = nullptr);

    const std::optional<QDateTime>& lastSyncedAt() const { return m_lastSyncedAt; }
    const std::optional<QString>& lastError() const { return m_lastError; }
    int inFlight() const { return m_inFlight; }

    // One upload; `done` gets the stored backup or the failure.
    void pushMacro(const Macro& macro, std::function<void(Expected<CloudBackup, BackupError>)> done = {});
    // One after the other in list order, stopping at the first failure; `done` gets the
    // number of macros given.
    void pushAll(std::vector<Macro> macros, std::function<void(Expected<int, BackupError>)> done = {});

    // The request body for `macro`: keys sorted, no whitespace.
    static Expected<QByteArray, EncodingError> payload(const Macro& macro);

Q_SIGNALS:
    void changed();

private:
    void setInFlight(int count);

    CloudAPIClient& m_apiClient;
    std::optional<QDateTime> m_lastSyncedAt;
    std::optional<QString> m_lastError;
    int m_inFlight = 0;
};
