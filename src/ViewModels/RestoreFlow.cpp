#include "ViewModels/RestoreFlow.h"

#include "Codec/IsoDate.h"
#include "Library/MacroLibrary.h"
#include "Services/Cloud/BackupRestoreService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/LogService.h"

#include <QPointer>
#include <QUrlQuery>

RestoreFlow::RestoreFlow(CloudAuthService& cloudAuth, MacroLibrary& library, QObject* parent)
    : QObject(parent), m_cloudAuth(cloudAuth), m_library(library),
      m_backupRestore(new BackupRestoreService(cloudAuth.apiClient(), this))
{
}

void RestoreFlow::handleRestoreLink(const QUrl& url)
{
    const QString revision = QUrlQuery(url).queryItemValue(QStringLiteral("revision"), QUrl::FullyDecoded);
    if (!BackupRestoreService::isRevisionID(revision)) {
        appLog(QStringLiteral("Ignoring a restore link that names no revision"), LogEntry::Level::warn);
        Q_EMIT message(QStringLiteral("The link does not name a backup to restore."));
        return;
    }
    restoreRevision(revision);
}

void RestoreFlow::restoreRevision(const QString& revisionID, std::function<void(std::optional<QString>)> done)
{
    auto fail = [this, done](const QString& why) {
        const QString text = QStringLiteral("Could not restore the backup: ") + why;
        appLog(text, LogEntry::Level::error);
        Q_EMIT message(text);
        if (done)
            done(text);
    };
    if (m_cloudAuth.status() != CloudAuthService::Status::signedIn) {
        if (!m_cloudAuth.hasToken())
            return fail(QStringLiteral("sign in to Quillo Cloud in the settings first (with the account the backup "
                                       "belongs to)."));
        // Launched by the link itself: the stored session is confirmed first.
        m_cloudAuth.refreshSession([self = QPointer<RestoreFlow>(this), revisionID, done, fail](Status<CloudError> confirmed) {
            if (!self)
                return;
            if (!confirmed)
                return fail(confirmed.error().description());
            if (self->m_cloudAuth.status() != CloudAuthService::Status::signedIn)
                return fail(QStringLiteral("the stored sign-in to Quillo Cloud was not confirmed."));
            self->restoreRevision(revisionID, done);
        });
        return;
    }
    appLog(QStringLiteral("Restoring a backup from Quillo Cloud"), LogEntry::Level::info);
    m_backupRestore->fetch(revisionID, [self = QPointer<RestoreFlow>(this), fail, done](
                                           Expected<BackupRestoreService::Restored, BackupError> fetched) {
        if (!self)
            return;
        if (!fetched)
            return fail(fetched.error().description());
        Macro macro = std::move(fetched.value().macro);
        const bool inPlace = self->m_library.macroWithId(macro.id) != nullptr;
        const QString when = IsoDate::readable(fetched.value().revision.createdAt);
        self->m_library.putMacroInPlace(std::move(macro),
                                        QStringLiteral("Restored \"%1\" from its backup of %2%3")
                                            .arg(fetched.value().revision.name, when,
                                                 inPlace ? QString() : QStringLiteral(" (added again: the macro was gone)")));
        if (done)
            done(std::nullopt);
    });
}
