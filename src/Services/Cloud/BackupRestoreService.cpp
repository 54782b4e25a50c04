#include "Services/Cloud/BackupRestoreService.h"

#include "Codec/CanonicalUuid.h"
#include "Codec/MacroJsonDecoder.h"
#include "Services/Cloud/CloudAPIClient.h"
#include "Services/Cloud/CloudResponses.h"
#include "Services/MacroMigrationService.h"

#include <QTimer>

BackupRestoreService::BackupRestoreService(CloudAPIClient& apiClient, QObject* parent)
    : QObject(parent), m_apiClient(apiClient)
{
}

void BackupRestoreService::listBackups(std::function<void(Expected<std::vector<CloudBackupSummary>, BackupError>)> done)
{
    m_apiClient.get<std::vector<CloudBackupSummary>>(
        QStringLiteral("/api/backups"), &CloudResponses::backupsResponse,
        [done](Expected<std::vector<CloudBackupSummary>, CloudError> listed) {
            if (!listed)
                return done(failure(BackupError{listed.error()}));
            done(std::move(listed).value());
        });
}

void BackupRestoreService::revisionsOf(const QUuid& macroID,
                                       std::function<void(Expected<std::vector<CloudRevision>, BackupError>)> done)
{
    char id[36];
    CanonicalUuid::write(macroID, id); // as the backups name it
    m_apiClient.get<std::vector<CloudRevision>>(
        QStringLiteral("/api/macros/%1/revisions").arg(QLatin1String(id, 36)), &CloudResponses::revisionsResponse,
        [done](Expected<std::vector<CloudRevision>, CloudError> listed) {
            if (!listed)
                return done(failure(BackupError{listed.error()}));
            done(std::move(listed).value());
        });
}

bool BackupRestoreService::isRevisionID(const QString& text)
{
    if (text.isEmpty() || text.size() > 100)
        return false;
    for (const QChar c : text)
        if (!((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
              (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')))
            return false;
    return true;
}

Expected<Macro, QString> BackupRestoreService::macroOf(const QByteArray& bytes, const QString& sourceMacroId)
{
    const QUuid id = QUuid::fromString(sourceMacroId);
    if (id.isNull())
        return failure(QStringLiteral("the backup does not name the macro it was made from"));
    QByteArray padded = MacroJsonDecoder::paddedBuffer(bytes.size());
    padded.append(bytes);
    auto decoded = MacroJsonDecoder::decodeMacro(padded);
    if (!decoded)
        return failure(QStringLiteral("the backup is not a macro Quillo can read: ") + decoded.error().description());
    auto migrated = MacroMigrationService::migrate(std::move(decoded).value());
    if (!migrated)
        return failure(migrated.error().description());
    Macro macro = std::move(migrated).value();
    macro.id = id;
    return macro;
}

void BackupRestoreService::fetch(const QString& revisionID, std::function<void(Expected<Restored, BackupError>)> done)
{
    if (!isRevisionID(revisionID)) {
        // What the service would answer for it.
        QTimer::singleShot(0, this, [done] {
            done(failure(BackupError{CloudError::http(404, QStringLiteral("This account has no such revision"))}));
        });
        return;
    }
    m_apiClient.get<CloudRevisionFile>(
        QStringLiteral("/api/revisions/") + revisionID, &CloudResponses::revisionFileResponse,
        [done](Expected<CloudRevisionFile, CloudError> fetched) {
            if (!fetched)
                return done(failure(BackupError{fetched.error()}));
            auto macro = macroOf(fetched.value().bytes, fetched.value().sourceMacroId);
            if (!macro)
                return done(failure(BackupError{CloudError::decoding(macro.error())}));
            done(Restored{fetched.value().revision, std::move(macro).value()});
        });
}
