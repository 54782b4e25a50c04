#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class BackupRestoreService;
class CloudAuthService;
class MacroLibrary;

// A backup brought back from Quillo Cloud ("Restore in Quillo", a
// quillo://restore?revision=ID link): the stored sign-in is confirmed when it was not
// yet, the revision is fetched with this device's token and put back in place of the
// macro it was made from (first in the list when that one is gone), as one undoable
// step of the library.
class RestoreFlow : public QObject
{
    Q_OBJECT
public:
    RestoreFlow(CloudAuthService& cloudAuth, MacroLibrary& library, QObject* parent = nullptr);

    // `done` gets what went wrong, or nothing; a failure is also said by `message`.
    void restoreRevision(const QString& revisionID, std::function<void(std::optional<QString>)> done = {});
    void handleRestoreLink(const QUrl& url);

Q_SIGNALS:
    // Something the person should read (already logged).
    void message(const QString& text);

private:
    CloudAuthService& m_cloudAuth;
    MacroLibrary& m_library;
    BackupRestoreService* m_backupRestore;
};
