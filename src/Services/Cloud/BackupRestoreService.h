#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/Cloud/BackupError.h"
#include "Services/Cloud/CloudBackupSummary.h"
#include "Services/Cloud/CloudRevision.h"

#include <QObject>
#include <functional>
#include <vector>

class CloudAPIClient;

// Reads backups back from Quillo Cloud: the account's backups, the revisions of one
// macro's backup, and one revision as a macro ready to go back into the library (its
// id that of the macro it was backed up from). Main thread; callbacks run there.
class BackupRestoreService : public QObject
{
    Q_OBJECT
public:
    explicit BackupRestoreService(CloudAPIClient& apiClient, QObject* parent = nullptr);

    struct Restored {
        CloudRevision revision;
        Macro macro;
    };

    void listBackups(std::function<void(Expected<std::vector<CloudBackupSummary>, BackupError>)> done);
    // Newest first; empty when that macro has no backup.
    void revisionsOf(const QUuid& macroID, std::function<void(Expected<std::vector<CloudRevision>, BackupError>)> done);
    void fetch(const QString& revisionID, std::function<void(Expected<Restored, BackupError>)> done);

    // Whether `text` can name a revision (what the service makes: letters, digits, hyphens).
    static bool isRevisionID(const QString& text);
    // The macro in a fetched file, with the id of the macro it was backed up from.
    static Expected<Macro, QString> macroOf(const QByteArray& bytes, const QString& sourceMacroId);

private:
    CloudAPIClient& m_apiClient;
};
