#pragma once

#include "Models/Macro.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class BackupSyncService;
class CloudAuthService;
class QSettings;
class UpdateCheckerService;

// One `quillo cloud` request carried out with the given services, in the command
// line's own process or in the running application: its results come out as lines.
//
//   {"status"}  {"sign-in"}  {"sign-in-token", token}  {"sign-out"}
//   {"sync", name-or-id...}  {"check-update"}
//   {"revisions", name-or-id}  {"restore", name-or-id, revision number (1: the newest; empty: 1)}
class CloudTask : public QObject
{
    Q_OBJECT
public:
    // Puts a restored macro in place of the library's macro of its id (first when none
    // has it), logged with the description; what went wrong, or nothing.
    using PutBack = std::function<std::optional<QString>(Macro macro, const QString& description)>;

    CloudTask(CloudAuthService& auth, BackupSyncService& backup, std::function<std::vector<Macro>()> library,
              QSettings& settings, PutBack putBack = {}, QObject* parent = nullptr);

    void start(const QStringList& request);
    // Ctrl-C: a sign-in waiting for the browser is cancelled; other work ends on its own.
    void cancel();

Q_SIGNALS:
    void output(const QString& line);
    void problem(const QString& line);
    void finished(int code);

private:
    void status();
    void signIn();
    // A device token given by hand, or the code the service's page shows (`isCode`).
    void signInByHand(const QString& value, bool isCode);
    void signInByHandNow(const QString& value, bool isCode);
    void signOut();
    void sync(const QStringList& names);
    void checkUpdate();
    void revisions(const QString& nameOrId);
    void restore(const QString& nameOrId, const QString& number);
    // The macro meant by a name or an id: the library's, else a backup's; then `then`
    // with its id and name.
    void findMacro(const QString& nameOrId, std::function<void(const QUuid&, const QString&)> then);
    // The revisions of that macro's backup, newest first, when it has any.
    void withRevisions(const QString& nameOrId,
                       std::function<void(const QUuid&, const QString&, const std::vector<struct CloudRevision>&)> then);
    // Runs `then` once the stored session is confirmed; says why not otherwise.
    void withSession(std::function<void()> then);
    void finish(int code);
    void fail(const QString& line);
    QString who() const;

    CloudAuthService& m_auth;
    BackupSyncService& m_backup;
    std::function<std::vector<Macro>()> m_library;
    QSettings& m_settings;
    PutBack m_putBack;
    class BackupRestoreService* m_restore;
    UpdateCheckerService* m_checker = nullptr;
    bool m_waitingForBrowser = false;
    bool m_finished = false;
};
